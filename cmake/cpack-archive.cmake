# Run by cpack once it has written each archive, before it copies it out and writes its
# checksum. It adds what the program is made of, and its parts' notices (notices.cmake). CPack's own archives take the order in which the filesystem lists a folder, the
# packager's uid and gid, and the folders' modes under the packager's umask, and hold no entry
# for the top folder. Each archive is written again from the staged files: every entry, the top
# folder first, in sorted order; owner and group 0, by number; folders rwxr-xr-x; every time
# the commit's (SOURCE_DATE_EPOCH), and no name or time in the gzip header. Two packagings of
# one commit then give the same bytes, whoever makes them, wherever and under any umask.
if(CMAKE_HOST_WIN32)
  return()
endif()
set(tar_options --create --file=- --no-recursion --format=gnu --owner=0 --group=0 --numeric-owner)
set(tools touch)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.zip$")
    list(APPEND tools zip)
  else()
    list(APPEND tools tar gzip)
  endif()
endforeach()
foreach(tool IN LISTS tools)
  find_program(${tool} ${tool} NO_CACHE)
  if(NOT ${tool})
    include("${CMAKE_CURRENT_LIST_DIR}/tools.cmake")
    hello_install_hint(hint ${tool})
    message(FATAL_ERROR "'${tool}' is not installed, so the package cannot be made reproducible "
      "(${hint})")
  endif()
endforeach()
# Options from the environment would change the archives.
unset(ENV{TAR_OPTIONS})
unset(ENV{GZIP})
unset(ENV{ZIPOPT})

include("${CMAKE_CURRENT_LIST_DIR}/notices.cmake")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(staging "${package}" DIRECTORY)
  get_filename_component(top "${package}" NAME)
  string(REGEX REPLACE "\\.(tar\\.gz|zip)$" "" top "${top}")
  hello_notices("${staging}/${top}")
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${staging}" "${staging}/${top}/*")
  list(APPEND entries "${top}")
  list(SORT entries)
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY "${staging}/${entry}")
      file(CHMOD "${staging}/${entry}" DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND "${touch}" -h -d "@$ENV{SOURCE_DATE_EPOCH}" -- ${entries}
      WORKING_DIRECTORY "${staging}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE "${package}")
  if(package MATCHES "\\.zip$")
    # -X leaves out the uid, the gid and the extra time fields; zip's times are local ones,
    # which cpack-options.cmake has set to UTC.
    execute_process(COMMAND "${zip}" -X -q "${package}" -- ${entries}
      WORKING_DIRECTORY "${staging}" COMMAND_ERROR_IS_FATAL ANY)
  else()
    execute_process(COMMAND "${tar}" ${tar_options} -- ${entries} COMMAND "${gzip}" -9 -n
      WORKING_DIRECTORY "${staging}" OUTPUT_FILE "${package}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
