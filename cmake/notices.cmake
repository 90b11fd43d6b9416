# hello_notices(<folder>): writes into a package's staged folder, under share/doc/hello, what
# the program is made of and what its parts ask of whoever hands it on. It is read off the
# link itself, never listed by hand: the files the linker took in (its dependency file), the
# Debian packages that own them and their exact versions (dpkg). For each package its copyright
# file goes to copyright/<package>, and the licence texts those files refer to to licenses/;
# NOTICE says where each package's source is and how to relink the program; bom.cdx.json is a
# CycloneDX bill of materials. Everything is sorted, and dated by SOURCE_DATE_EPOCH only.
#
# It reads these variables, which the build sets for cpack: CPACK_HELLO_LINK_DEPENDENCIES (the
# linker's dependency file), CPACK_HELLO_BUILD_TREE (the program's own objects lie there),
# CPACK_HELLO_COMPILER and CPACK_HELLO_LINKER (the programs),
# CPACK_PACKAGE_NAME, CPACK_PACKAGE_VERSION, and CPACK_HELLO_COMMIT, which cpack-options.cmake
# reads from git.

# hello_link_packages(<variable> <dependency file> <build tree>): the Debian packages (with
# their architecture, as dpkg names them) that own the files of the link; the program's own
# objects, in the build tree, excepted. A file that no package owns stops the packaging.
function(hello_link_packages var dependencies build_tree)
  file(READ "${dependencies}" text)
  # Make's syntax: "program: input input \<newline> input ...", then a rule for each input.
  string(REPLACE "\\\n" " " text "${text}")
  string(REGEX REPLACE "\n.*" "" text "${text}")
  string(REGEX REPLACE "^[^:]*: *" "" text "${text}")
  string(REPLACE "\\ " "\t" text "${text}")
  string(REGEX REPLACE " +" ";" inputs "${text}")
  # Each file by the path the linker had, by its real one (a library's link names a file of
  # another package), and by that with /usr taken off (one file on a merged /usr, which dpkg may
  # know by either). dpkg is asked for all at once, as each question reads its whole database.
  set(files "")
  set(paths "")
  foreach(input IN LISTS inputs)
    string(REPLACE "\t" " " input "${input}")
    # The linker ran in the build tree.
    cmake_path(ABSOLUTE_PATH input BASE_DIRECTORY "${build_tree}" NORMALIZE)
    file(REAL_PATH "${input}" real)
    string(FIND "${real}" "${build_tree}/" at)
    if(NOT at EQUAL 0)
      string(REGEX REPLACE "^/usr/(s?bin|lib[^/]*)/" "/\\1/" merged "${real}")
      list(APPEND files "${input}")
      set(names_${input} "${input}" "${real}" "${merged}")
      list(APPEND paths ${names_${input}})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES files)
  list(REMOVE_DUPLICATES paths)
  execute_process(COMMAND dpkg-query --search ${paths} OUTPUT_VARIABLE found ERROR_QUIET)
  string(REGEX MATCHALL "[^\n]+" found "${found}")
  # Diversions are told too, as "diversion by <package> from: <path>".
  list(FILTER found EXCLUDE REGEX "^diversion by ")
  set(packages "")
  foreach(file IN LISTS files)
    set(owned OFF)
    foreach(line IN LISTS found)
      foreach(path IN LISTS names_${file})
        string(LENGTH ": ${path}" tail)
        string(LENGTH "${line}" length)
        math(EXPR at "${length} - ${tail}")
        if(at GREATER 0)
          string(SUBSTRING "${line}" ${at} -1 end)
          if(end STREQUAL ": ${path}")
            string(SUBSTRING "${line}" 0 ${at} owner)
            string(REPLACE ", " ";" owner "${owner}")
            list(APPEND packages ${owner})
            set(owned ON)
          endif()
        endif()
      endforeach()
    endforeach()
    if(NOT owned)
      message(FATAL_ERROR "No Debian package owns ${file}, which the program is linked with, "
        "so the package cannot say what it holds.")
    endif()
  endforeach()
  list(REMOVE_ITEM packages "")
  list(REMOVE_DUPLICATES packages)
  list(SORT packages)
  set(${var} "${packages}" PARENT_SCOPE)
endfunction()

# The licences a copyright file declares: in Debian's machine-readable format, its License
# fields; otherwise, the texts in /usr/share/common-licenses it refers to. And those texts.
function(hello_licenses declared_var texts_var file)
  file(READ "${file}" text)
  string(REGEX MATCHALL "/usr/share/common-licenses/[A-Za-z0-9+._-]*[A-Za-z0-9+_-]" texts "${text}")
  list(TRANSFORM texts REPLACE "^/usr/share/common-licenses/" "")
  set(existing "")
  foreach(name IN LISTS texts)
    if(EXISTS "/usr/share/common-licenses/${name}")
      list(APPEND existing "${name}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES existing)
  list(SORT existing)
  if(text MATCHES "^Format: ")
    string(REGEX MATCHALL "\nLicense: *[^\n]+" declared "${text}")
    list(TRANSFORM declared REPLACE "^\nLicense: *" "")
    list(TRANSFORM declared STRIP)
  else()
    set(declared "${existing}")
  endif()
  list(REMOVE_DUPLICATES declared)
  list(SORT declared)
  set(${declared_var} "${declared}" PARENT_SCOPE)
  set(${texts_var} "${existing}" PARENT_SCOPE)
endfunction()

# json(<variable> <value>): the value as a JSON string.
function(json var value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  string(REPLACE "\n" "\\n" value "${value}")
  string(REPLACE "\t" "\\t" value "${value}")
  set(${var} "\"${value}\"" PARENT_SCOPE)
endfunction()

# append(<array variable> <json>): the element added at the end of the JSON array.
function(append var element)
  string(JSON length LENGTH "${${var}}")
  string(JSON result SET "${${var}}" ${length} "${element}")
  set(${var} "${result}" PARENT_SCOPE)
endfunction()

function(hello_notices top)
  set(doc "${top}/share/doc/hello")
  file(REMOVE_RECURSE "${doc}")
  file(MAKE_DIRECTORY "${doc}/copyright" "${doc}/licenses")
  hello_link_packages(packages "${CPACK_HELLO_LINK_DEPENDENCIES}" "${CPACK_HELLO_BUILD_TREE}")

  file(STRINGS /etc/os-release release REGEX "^(VERSION_ID|VERSION_CODENAME)=")
  string(REGEX REPLACE ".*VERSION_ID=\"?([^\";]*).*" "\\1" debian "${release}")
  string(REGEX REPLACE ".*VERSION_CODENAME=\"?([^\";]*).*" "\\1" codename "${release}")
  set(program "${CPACK_PACKAGE_NAME} ${CPACK_PACKAGE_VERSION}")
  set(commit "${CPACK_HELLO_COMMIT}")

  set(components "[]")
  set(refs "[]")
  set(table "")
  set(all_texts "")
  foreach(package IN LISTS packages)
    execute_process(COMMAND dpkg-query --show
      "--showformat=\${Package}\t\${Version}\t\${Architecture}\t\${source:Package}\t\${source:Version}"
      "${package}" OUTPUT_VARIABLE fields COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\t" ";" fields "${fields}")
    list(GET fields 0 name)
    list(GET fields 1 version)
    list(GET fields 2 arch)
    list(GET fields 3 source)
    list(GET fields 4 source_version)
    set(copyright "/usr/share/doc/${name}/copyright")
    if(NOT EXISTS "${copyright}")
      message(FATAL_ERROR "${copyright} is missing (a system that leaves out /usr/share/doc?), "
        "so the package cannot carry ${name}'s notice.")
    endif()
    file(READ "${copyright}" content)
    file(WRITE "${doc}/copyright/${name}" "${content}")
    hello_licenses(declared texts "${copyright}")
    list(APPEND all_texts ${texts})
    string(APPEND table "  ${name} ${version} (${arch}): source package ${source} ${source_version}\n")

    # A package URL names the Debian version, its epoch's colon and the plus escaped.
    set(escaped "${version}")
    foreach(pair "%|%25" ":|%3A" "+|%2B" "~|%7E")
      string(REPLACE "|" ";" pair "${pair}")
      list(GET pair 0 from)
      list(GET pair 1 to)
      string(REPLACE "${from}" "${to}" escaped "${escaped}")
    endforeach()
    set(purl "pkg:deb/debian/${name}@${escaped}?arch=${arch}&distro=debian-${debian}")
    set(component "{\"type\": \"library\"}")
    foreach(field bom-ref:purl name:name version:version purl:purl)
      string(REPLACE ":" ";" field "${field}")
      list(GET field 0 key)
      list(GET field 1 from)
      json(value "${${from}}")
      string(JSON component SET "${component}" "${key}" "${value}")
    endforeach()
    set(licenses "[]")
    foreach(license IN LISTS declared)
      json(value "${license}")
      append(licenses "{\"license\": {\"name\": ${value}}}")
    endforeach()
    string(JSON component SET "${component}" licenses "${licenses}")
    json(value "${source} ${source_version}")
    json(architecture "${arch}")
    set(properties "[]")
    append(properties "{\"name\": \"debian:architecture\", \"value\": ${architecture}}")
    append(properties "{\"name\": \"debian:source\", \"value\": ${value}}")
    string(JSON component SET "${component}" properties "${properties}")
    append(components "${component}")
    json(value "${purl}")
    append(refs "${value}")
  endforeach()
  list(REMOVE_DUPLICATES all_texts)
  list(SORT all_texts)
  foreach(name IN LISTS all_texts)
    file(READ "/usr/share/common-licenses/${name}" content)
    file(WRITE "${doc}/licenses/${name}" "${content}")
  endforeach()

  # What built it: the compiler and the linker, as their first line of --version names them,
  # and the Debian release.
  foreach(tool compiler linker)
    string(TOUPPER "${tool}" name)
    execute_process(COMMAND "${CPACK_HELLO_${name}}" --version OUTPUT_VARIABLE ${tool} ERROR_QUIET)
    string(REGEX REPLACE "\n.*" "" ${tool} "${${tool}}")
  endforeach()
  set(tools "[]")
  foreach(tool "${compiler}" "${linker}")
    json(value "${tool}")
    append(tools "{\"type\": \"application\", \"name\": ${value}}")
  endforeach()
  json(value "${debian}")
  append(tools "{\"type\": \"operating-system\", \"name\": \"Debian\", \"version\": ${value}}")

  string(TIMESTAMP time "%Y-%m-%dT%H:%M:%SZ" UTC)
  set(bom "{\"bomFormat\": \"CycloneDX\", \"specVersion\": \"1.6\", \"version\": 1}")
  set(main "{\"type\": \"application\", \"bom-ref\": \"${CPACK_PACKAGE_NAME}\"}")
  json(value "${CPACK_PACKAGE_NAME}")
  string(JSON main SET "${main}" name "${value}")
  json(value "${CPACK_PACKAGE_VERSION}")
  string(JSON main SET "${main}" version "${value}")
  json(value "${commit}")
  string(JSON main SET "${main}" pedigree "{\"commits\": [{\"uid\": ${value}}]}")
  string(JSON bom SET "${bom}" metadata "{\"timestamp\": \"${time}\"}")
  string(JSON bom SET "${bom}" metadata tools "{\"components\": ${tools}}")
  string(JSON bom SET "${bom}" metadata component "${main}")
  string(JSON bom SET "${bom}" components "${components}")
  string(JSON bom SET "${bom}" dependencies
    "[{\"ref\": \"${CPACK_PACKAGE_NAME}\", \"dependsOn\": ${refs}}]")
  file(WRITE "${doc}/bom.cdx.json" "${bom}\n")

  file(WRITE "${doc}/NOTICE" "${program}, built from commit ${commit}
by ${compiler} and ${linker} on Debian ${debian} (${codename}).

The program is linked with these Debian packages, and holds code of theirs:

${table}
Each package's copyright file, which says who holds the copyright and under which licences,
is in copyright/<package>; the licence texts those files refer to are in licenses/.
bom.cdx.json lists the same in CycloneDX form.

Each package's source is its Debian source package of that version, which
'apt-get source <source package>=<version>' fetches, as the Debian archive keeps it.

Some of these licences (the GNU C Library's LGPL among them) let you relink the program
with a changed library. To do so, take the program's own source, its repository at the
commit named above, build it as its README says, and link your library in place of the one
above, for instance with -DCMAKE_EXE_LINKER_FLAGS=-L<your library's folder> at configure time.
")
  # The same modes under any umask.
  file(GLOB_RECURSE written "${doc}/*")
  file(CHMOD ${written} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()
