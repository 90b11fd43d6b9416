#!/bin/sh
# The release as a stranger gets it: made, signed with throwaway keys, and checked, whole and
# tampered with.
#
#   release.sh keys|build|sign|wine      the steps, in WORK (the environment names it)
#   release.sh verify CASE               release/verify on the signed release, changed as the
#                                        row of the table below says: it passes the good one,
#                                        and rejects every other with a message naming the fault
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
work=$WORK
keys=$work/keys
fail() { echo "FAIL $*"; exit 1; }
# resign DIR: SHA256SUMS made again, and signed with the releaser's key, as a releaser's
# machine that was tampered with would.
resign() { bash "$top/release/lib.sh" sums "$1" && sqop sign "$keys/secret.asc" <"$1/SHA256SUMS" >"$1/SHA256SUMS.asc"; }
zip_exe() { mkdir -p "$2" && (cd "$2" && cmake -E tar xf "$1") && ls "$2"/*/bin/hello.exe; }

table() {
#   case                 expected message                                               change
row good                 'every file of .* is signed, listed and rebuilt byte for byte'  :
row changed-byte         'x86_64.tar.gz: does not match SHA256SUMS'                      'printf x | dd of="$(ls "$1"/*x86_64.tar.gz)" bs=1 seek=100 conv=notrunc 2>/dev/null'
row changed-sums-line    'SHA256SUMS: not signed by the key'                             'sed -i "1s/^./0/" "$1/SHA256SUMS"'
row other-key            'SHA256SUMS: not signed by the key'                             'sqop sign "$keys/other.asc" <"$1/SHA256SUMS" >"$1/SHA256SUMS.asc"'
row unlisted-file        'notes.txt: in the folder, but not in SHA256SUMS'               'echo extra >"$1/notes.txt"'
row stripped-signature   'bin/hello.exe carries no Authenticode signature'               'cp "$work"/built/*.zip "$1/" && resign "$1"'
row other-source         'x86_64.tar.gz: differs from the rebuild, in: .*bin/hello'      'cp "$work"/other/*x86_64.tar.gz "$1/" && resign "$1"'
row missing-version      'BUILDINFO: it records zip 9.9-1, which the mirror does not have' 'sed -i "s/^ zip (= .*)/ zip (= 9.9-1)/" "$1/BUILDINFO" && resign "$1"'
}

case $1 in
keys)
  # An OpenPGP key in the form 'gpg --export-secret-keys --armor' writes, another one, and a
  # self-signed code-signing certificate; gpg's agent is ended with its folder.
  rm -rf "$keys" && mkdir -m 700 -p "$keys/gnupg" || exit 1
  export GNUPGHOME="$keys/gnupg"
  for key in secret other; do
    gpg --batch --quiet --passphrase '' --quick-gen-key "hello $key <$key@example.invalid>" ed25519 sign never &&
      gpg --batch --export-secret-keys --armor "$key@example.invalid" >"$keys/$key.asc" || fail "gpg made no key"
  done
  gpg --batch --export --armor secret@example.invalid >"$keys/cert.asc"
  gpgconf --kill all && gpgconf --remove-socketdir 2>/dev/null
  openssl req -x509 -newkey rsa:3072 -nodes -keyout "$keys/code.key" -out "$keys/code.pem" -days 3650 \
    -subj "/CN=hello test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null || fail "openssl made no certificate"
  echo "PASS keys: throwaway OpenPGP keys and a code-signing certificate in $keys"
  ;;
build)
  rm -rf "$work/built" "$work/other" && "$top/release/build" "$work/built" || fail "release/build failed"
  # The same commit with another greeting, as a package built from other source.
  rm -rf "$work/other-src" && git -c "safe.directory=$top" clone -q "$top" "$work/other-src" &&
    sed -i 's/"Hello"/"Hallo"/' "$work/other-src/xs05kn5.cpp" && cd "$work/other-src" &&
    cmake --preset default -DBUILD_TESTING=OFF >/dev/null && cmake --build --preset default >/dev/null &&
    cpack --preset default -B "$work/other" >/dev/null || fail "the package from other source was not made"
  echo "PASS build: $(ls "$work/built" | wc -l) files, and a package from other source"
  ;;
sign)
  rm -rf "$work/signed" && cp -R "$work/built" "$work/signed" &&
    "$top/release/sign" "$work/signed" --openpgp "$keys/secret.asc" --authenticode "$keys/code.key" "$keys/code.pem" ||
    fail "release/sign failed"
  exe=$(zip_exe "$(ls "$work"/signed/*.zip)" "$work/signed-exe")
  osslsigncode verify -CAfile "$keys/code.pem" -in "$exe" >"$work/log" 2>&1 ||
    { cat "$work/log"; fail "osslsigncode does not accept the signed hello.exe"; }
  grep -q 'Message digest algorithm *: SHA256' "$work/log" || fail "hello.exe's signature is not SHA-256"
  sqop verify "$work/signed/SHA256SUMS.asc" "$keys/cert.asc" <"$work/signed/SHA256SUMS" >/dev/null ||
    fail "sqop does not accept SHA256SUMS.asc"
  GNUPGHOME=$work/verifier && rm -rf "$GNUPGHOME" && mkdir -m 700 "$GNUPGHOME" && export GNUPGHOME
  gpg --batch --quiet --import "$keys/cert.asc" 2>/dev/null &&
    gpg --batch --verify "$work/signed/SHA256SUMS.asc" "$work/signed/SHA256SUMS" 2>"$work/log" ||
    { cat "$work/log"; fail "gpg does not accept SHA256SUMS.asc"; }
  gpgconf --kill all && gpgconf --remove-socketdir 2>/dev/null
  (cd "$work/signed" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
  echo "PASS sign: osslsigncode, sqop and gpg accept the signatures"
  ;;
wine)
  # The Windows cases, on the signed hello.exe.
  sh "$top/tests/wine.sh" start || exit 1
  failed=""
  for case in $(sed -n 's/^row \([^ ]*\) *\(all\|windows\) .*/\1/p' "$top/tests/program.sh"); do
    sh "$top/tests/program.sh" "$case" windows sh "$top/tests/wine.sh" run "$HELLO_WINE" "$work/signed-exe/"*/bin/hello.exe ||
      failed="$failed $case"
  done
  sh "$top/tests/wine.sh" stop
  [ -z "$failed" ] || fail "the signed hello.exe fails:$failed"
  ;;
verify)
  case=$2
  row() {
    [ "$1" = "$case" ] || return 0
    dir=$work/tampered-$1 want=$2 change=$3
    rm -rf "$dir" && cp -R "$work/signed" "$dir" && (set -- "$dir" && eval "$change") ||
      fail "$case: the release was not changed"
    # Rows that reach the rebuild with the same record share it.
    "$top/release/verify" "$dir" --signer "$keys/cert.asc" --rebuilt "$work/rebuilt" >"$dir.log" 2>&1
    status=$?
    grep -v '^ok ' "$dir.log" | tail -n 20
    grep -Eq -- "$want" "$dir.log" || fail "$case: release/verify did not say '$want'"
    if [ "$case" = good ]; then [ "$status" = 0 ]; else [ "$status" != 0 ]; fi ||
      fail "$case: release/verify exited with $status"
    echo "PASS verify $case"
    exit 0
  }
  table
  fail "no row $case"
  ;;
*) fail "unknown step $1" ;;
esac
