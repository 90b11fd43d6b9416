# Run by cpack once it has written each archive, before it copies it out and writes its
# checksum. It adds what the program is made of, and its parts' notices (notices.cmake), and
# writes the archive again from the staged files with archive.cmake: CPack's own archives take
# the order in which the filesystem lists a folder, the packager's uid and gid, and the modes
# under the packager's umask, and hold no entry for the top folder. Two packagings of one
# commit then give the same bytes, whoever makes them, wherever and under any umask.
if(CMAKE_HOST_WIN32)
  return()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/notices.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/archive.cmake")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  string(REGEX REPLACE "\\.(tar\\.gz|zip)$" "" folder "${package}")
  hello_notices("${folder}")
  hello_archive("${folder}" "${package}")
endforeach()
