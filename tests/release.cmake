# Checks what a user gets from a release, in a folder of the build tree, as any user:
#
#   cmake -DCHECK=package -DBUILD=<build tree> -DCONFIG=<config> -DWORK=<folder>
#         -DNAME=<package file name> -DENTRIES=<entries> -DPROGRAM=<bin/hello> -DNM=<nm>
#         -DLINK=<the linker's dependency file> -P release.cmake
#       cpack makes the package: its entries are exactly <name>/ and then <name>/<entries> and
#       the notes under share/doc/hello, in sorted order; its bill of materials lists exactly
#       the Debian packages that own the files of the link, and it holds their copyright files
#       and the licence texts as this system has them; every folder is rwxr-xr-x; owner and
#       group are 0; the program is stripped, the same bytes as a stripped install's; and
#       sha256sum -c accepts the checksum file.
#   cmake -DCHECK=bill -DBILL=<bom.cdx.json> -P release.cmake
#       CycloneDX's own validator (Debian 13's python3-cyclonedx-lib) accepts the bill. Where
#       it is missing, it says "skipped:".
#   cmake -DCHECK=install (the same variables) -P release.cmake
#       a plain install keeps the program's symbol table, and one with --strip removes it.
#   cmake -DCHECK=manual -DPAGE=<hello.1> -P release.cmake
#       groff has nothing to warn about in the manual page, and man -l renders it. Where man is
#       missing it says "skipped:", which CTest reports as skipped.
cmake_minimum_required(VERSION 3.25)
function(fail)
  message(FATAL_ERROR "FAIL ${CHECK}: " ${ARGV})
endfunction()
# run(<output variable> <command>...): the command's standard output and error, which must
# end with status 0.
function(run var)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    string(JOIN " " command ${ARGN})
    fail("${command}: status ${status}\n${out}")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()
# symbols(<variable> <file>): whether the file still has its symbol table, which nm lists.
function(symbols var file)
  execute_process(COMMAND "${NM}" "${file}" OUTPUT_VARIABLE out ERROR_VARIABLE err
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("${NM} ${file}: status ${status}\n${err}")
  endif()
  if(out)
    set(${var} ON PARENT_SCOPE)
  else()
    set(${var} OFF PARENT_SCOPE)
  endif()
endfunction()

if(WORK)
  file(REMOVE_RECURSE "${WORK}")
endif()
# A build tree configured with no build type has no configuration to name, and cpack and
# 'cmake --install' refuse an empty one.
set(config "")
set(cpack_config "")
if(CONFIG)
  set(config --config "${CONFIG}")
  set(cpack_config -C "${CONFIG}")
endif()
if(CHECK STREQUAL "package")
  run(out "${CMAKE_CPACK_COMMAND}" --config "${BUILD}/CPackConfig.cmake" ${cpack_config} -B "${WORK}")
  file(GLOB packages RELATIVE "${WORK}" "${WORK}/*.tar.gz" "${WORK}/*.zip")
  if(NOT packages MATCHES "^${NAME}\\.(tar\\.gz|zip)$")
    fail("cpack made [${packages}], expected ${NAME}.tar.gz or .zip")
  endif()
  set(package "${WORK}/${packages}")

  file(MAKE_DIRECTORY "${WORK}/unpacked")
  run(out "${CMAKE_COMMAND}" -E chdir "${WORK}/unpacked" "${CMAKE_COMMAND}" -E tar xf "${package}")

  # What the program is made of: the packages that own the files of its link, as dpkg tells
  # here, are exactly those of the bill, and the package holds each one's copyright file and
  # the licence texts those refer to, the same as this system's.
  set(doc "share/doc/hello")
  file(READ "${WORK}/unpacked/${NAME}/${doc}/bom.cdx.json" bom)
  string(JSON count LENGTH "${bom}" components)
  set(listed "")
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last})
    if(i GREATER_EQUAL 0)
      string(JSON name GET "${bom}" components ${i} name)
      list(APPEND listed "${name}")
    endif()
  endforeach()
  # The link's files, but the program's own, by the path the linker had, by the real one, and
  # that with /usr taken off (the same file on a merged /usr): dpkg knows each by one of them.
  file(READ "${LINK}" text)
  string(REGEX MATCHALL "/[^ \n:\\]+" files "${text}")
  set(paths "")
  foreach(file IN LISTS files)
    file(REAL_PATH "${file}" real)
    string(FIND "${real}" "${BUILD}/" own)
    if(NOT own EQUAL 0 AND EXISTS "${file}" AND NOT IS_DIRECTORY "${file}")
      string(REGEX REPLACE "^/usr/(s?bin|lib[^/]*)/" "/\\1/" merged "${real}")
      list(APPEND paths "${file}" "${real}" "${merged}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES paths)
  execute_process(COMMAND dpkg-query -S ${paths} OUTPUT_VARIABLE owners ERROR_QUIET)
  string(REGEX MATCHALL "(^|\n)[^:,\n]+" linked "${owners}")
  list(TRANSFORM linked STRIP)
  list(FILTER linked EXCLUDE REGEX "^diversion by ")
  list(REMOVE_DUPLICATES linked)
  list(SORT linked)
  list(SORT listed)
  if(NOT linked OR NOT listed STREQUAL linked)
    fail("the bill lists the packages [${listed}], the link's are [${linked}]")
  endif()
  # Each copy in the package, and the system's file it is.
  set(notices "${doc}/" "${doc}/NOTICE" "${doc}/bom.cdx.json" "${doc}/copyright/" "${doc}/licenses/")
  set(copies "")
  foreach(name IN LISTS listed)
    list(APPEND copies "copyright/${name}|/usr/share/doc/${name}/copyright")
  endforeach()
  file(GLOB texts RELATIVE "${WORK}/unpacked/${NAME}/${doc}/licenses" "${WORK}/unpacked/${NAME}/${doc}/licenses/*")
  foreach(name IN LISTS texts)
    list(APPEND copies "licenses/${name}|/usr/share/common-licenses/${name}")
  endforeach()
  foreach(copy IN LISTS copies)
    string(REPLACE "|" ";" copy "${copy}")
    list(GET copy 0 entry)
    list(GET copy 1 original)
    list(APPEND notices "${doc}/${entry}")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
      "${WORK}/unpacked/${NAME}/${doc}/${entry}" "${original}" RESULT_VARIABLE differ)
    if(differ)
      fail("${doc}/${entry} is not ${original}")
    endif()
  endforeach()
  if(NOT texts)
    fail("the package holds no licence text")
  endif()

  run(listing "${CMAKE_COMMAND}" -E tar tvf "${package}")
  string(REGEX REPLACE "\n$" "" listing "${listing}")
  string(REPLACE "\n" ";" listing "${listing}")
  set(want "${NAME}/")
  foreach(entry IN LISTS ENTRIES notices)
    list(APPEND want "${NAME}/${entry}")
  endforeach()
  list(APPEND want "${NAME}/share/" "${NAME}/share/doc/")
  list(REMOVE_DUPLICATES want)
  list(SORT want)
  set(got "")
  foreach(line IN LISTS listing)
    if(NOT line MATCHES "^([-dl][-rwxsStT]+) +[0-9]+ +([^ ]+) +([^ ]+) +[0-9]+ .* ([^ ]+)$")
      fail("cannot read the line [${line}]")
    endif()
    set(mode "${CMAKE_MATCH_1}")
    set(owner "${CMAKE_MATCH_2}/${CMAKE_MATCH_3}")
    set(entry "${CMAKE_MATCH_4}")
    list(APPEND got "${entry}")
    if(NOT owner STREQUAL "0/0")
      fail("${entry} belongs to ${owner}, expected 0/0")
    endif()
    if(mode MATCHES "^d" AND NOT mode STREQUAL "drwxr-xr-x")
      fail("the folder ${entry} is ${mode}, expected drwxr-xr-x")
    endif()
  endforeach()
  if(NOT got STREQUAL want)
    string(REPLACE ";" "\n  " got "${got}")
    string(REPLACE ";" "\n  " want "${want}")
    fail("the package holds, in this order:\n  ${got}\nexpected:\n  ${want}")
  endif()

  symbols(has "${WORK}/unpacked/${NAME}/${PROGRAM}")
  if(has)
    fail("the packaged ${PROGRAM} has its symbol table: it is not stripped")
  endif()
  # So that a download can be checked by rebuilding it, the packaged program is the same bytes
  # as a stripped install's.
  run(out "${CMAKE_COMMAND}" --install "${BUILD}" ${config} --prefix "${WORK}/strip" --strip)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
    "${WORK}/unpacked/${NAME}/${PROGRAM}" "${WORK}/strip/${PROGRAM}" RESULT_VARIABLE differ)
  if(differ)
    fail("the packaged ${PROGRAM} differs from that of 'cmake --install --strip'")
  endif()
  run(out "${CMAKE_COMMAND}" -E chdir "${WORK}" sha256sum -c "${packages}.sha256")
  message("PASS package: ${packages}, ${out}")
elseif(CHECK STREQUAL "install")
  foreach(kind plain strip)
    set(strip "")
    if(kind STREQUAL "strip")
      set(strip --strip)
    endif()
    run(out "${CMAKE_COMMAND}" --install "${BUILD}" ${config} --prefix "${WORK}/${kind}" ${strip})
    foreach(entry IN LISTS ENTRIES)
      if(NOT EXISTS "${WORK}/${kind}/${entry}")
        fail("the ${kind} install has no ${entry}")
      endif()
    endforeach()
    symbols(has_${kind} "${WORK}/${kind}/${PROGRAM}")
  endforeach()
  if(NOT has_plain OR has_strip)
    fail("${PROGRAM} keeps its symbol table: ${has_plain} in a plain install (expected ON), "
      "${has_strip} in one with --strip (expected OFF)")
  endif()
  message("PASS install: the plain install keeps the symbol table, --strip removes it")
elseif(CHECK STREQUAL "bill")
  find_program(python python3 NO_CACHE)
  set(validate [[
import sys
from cyclonedx.schema import SchemaVersion
from cyclonedx.validation.json import JsonStrictValidator
error = JsonStrictValidator(SchemaVersion.V1_6).validate_str(open(sys.argv[1]).read())
if error:
    sys.exit(f"not a valid CycloneDX 1.6 document: {error}")
]])
  if(python)
    execute_process(COMMAND "${python}" -c "import cyclonedx.validation.json"
      RESULT_VARIABLE missing OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(NOT python OR missing)
    message("skipped: CycloneDX's validator is not installed ($ENV{HELLO_CYCLONEDX_HINT}; "
      "Debian 12 has none)")
    return()
  endif()
  run(out "${python}" -c "${validate}" "${BILL}")
  message("PASS bill: a valid CycloneDX 1.6 document")
elseif(CHECK STREQUAL "manual")
  find_program(man man NO_CACHE)
  if(NOT man)
    message("skipped: 'man' is not installed (sudo apt-get install man-db)")
    return()
  endif()
  run(warnings groff -mandoc -ww -z "${PAGE}")
  if(warnings)
    fail("groff warns:\n${warnings}")
  endif()
  set(ENV{MANPAGER} cat)
  set(ENV{MANWIDTH} 80)
  set(ENV{LC_ALL} C)
  run(page "${man}" -l "${PAGE}")
  string(FIND "${page}" "hello - write a greeting to standard output" at)
  if(at EQUAL -1)
    fail("man -l shows no NAME line:\n${page}")
  endif()
  message("PASS manual: groff has no warning, and man -l renders it")
else()
  fail("unknown check")
endif()
