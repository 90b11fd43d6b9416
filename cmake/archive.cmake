# hello_archive(<folder> <archive>): writes the .tar.gz or .zip of the folder, so that two
# writings of the same files give the same bytes, whoever writes them, wherever and under any
# umask: every entry, the folder itself first, in sorted order; owner and group 0, by number;
# folders and programs rwxr-xr-x, other files rw-r--r--; every time SOURCE_DATE_EPOCH's, and no
# name or time in the gzip header; a zip's times in UTC, and no uid, gid or extra times in it.
# It needs tar, gzip, touch and zip, and says which package brings one that is missing.
#
#   cmake -DFOLDER=<folder> -DARCHIVE=<archive> -P archive.cmake   does the same as a script.
function(hello_archive folder archive)
  get_filename_component(staging "${folder}" DIRECTORY)
  get_filename_component(top "${folder}" NAME)
  set(tools touch)
  if(archive MATCHES "\\.zip$")
    list(APPEND tools zip)
  else()
    list(APPEND tools tar gzip)
  endif()
  foreach(tool IN LISTS tools)
    find_program(${tool} ${tool} NO_CACHE)
    if(NOT ${tool})
      include("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tools.cmake")
      hello_install_hint(hint ${tool})
      message(FATAL_ERROR "'${tool}' is not installed, so the package cannot be made "
        "reproducible (${hint})")
    endif()
  endforeach()
  # Options from the environment would change the archives.
  unset(ENV{TAR_OPTIONS})
  unset(ENV{GZIP})
  unset(ENV{ZIPOPT})
  set(ENV{TZ} UTC0)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${staging}" "${staging}/${top}/*")
  list(APPEND entries "${top}")
  list(SORT entries)
  foreach(entry IN LISTS entries)
    set(mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    if(IS_DIRECTORY "${staging}/${entry}" OR entry MATCHES "/bin/[^/]+$")
      list(APPEND mode OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
    endif()
    file(CHMOD "${staging}/${entry}" PERMISSIONS ${mode})
  endforeach()
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND "${touch}" -h -d "@$ENV{SOURCE_DATE_EPOCH}" -- ${entries}
      WORKING_DIRECTORY "${staging}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE "${archive}")
  if(archive MATCHES "\\.zip$")
    execute_process(COMMAND "${zip}" -X -q "${archive}" -- ${entries}
      WORKING_DIRECTORY "${staging}" COMMAND_ERROR_IS_FATAL ANY)
  else()
    execute_process(COMMAND "${tar}" --create --file=- --no-recursion --format=gnu --owner=0
      --group=0 --numeric-owner -- ${entries} COMMAND "${gzip}" -9 -n
      WORKING_DIRECTORY "${staging}" OUTPUT_FILE "${archive}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  hello_archive("${FOLDER}" "${ARCHIVE}")
endif()
