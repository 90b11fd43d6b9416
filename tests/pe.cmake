# Checks that the Windows build is what a clean 32-bit Windows machine runs from a console:
# a PE32 file for x86 with the console subsystem that imports only DLLs that Windows itself
# ships, so no compiler runtime DLL has to travel with it; and that its version resource, read
# back from the file, names the program and the project's version.
#
#   cmake -DOBJDUMP=<objdump> -DWINDRES=<windres> -DVERSION=<x.y.z> -DDESCRIPTION=<text>
#         -DPROGRAM=<hello.exe> -P pe.cmake
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "DLL Name: [^\n]*" dlls "${dump}")
set(expected "DLL Name: KERNEL32.dll;DLL Name: msvcrt.dll")
foreach(want "file format pei-i386" "Magic[ \t]+010b[ \t]+\\(PE32\\)" "Subsystem[ \t]+00000003")
  if(NOT dump MATCHES "${want}")
    message(SEND_ERROR "FAIL: no '${want}' in the headers of ${PROGRAM}")
  endif()
endforeach()
if(NOT dlls STREQUAL expected)
  message(SEND_ERROR "FAIL: imports [${dlls}], expected [${expected}]")
endif()

execute_process(COMMAND "${WINDRES}" -i "${PROGRAM}" -O rc OUTPUT_VARIABLE resource
  COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "." ", " numbers "${VERSION}")
foreach(want "FILEVERSION ${numbers}, 0" "PRODUCTVERSION ${numbers}, 0"
    "\"FileDescription\", \"${DESCRIPTION}\"" "\"ProductName\", \"hello\""
    "\"FileVersion\", \"${VERSION}\"" "\"ProductVersion\", \"${VERSION}\""
    "\"OriginalFilename\", \"hello.exe\"")
  string(FIND "${resource}" "${want}" at)
  if(at EQUAL -1)
    message(SEND_ERROR "FAIL: no '${want}' in the version resource of ${PROGRAM}:\n${resource}")
  endif()
endforeach()
