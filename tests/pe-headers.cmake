# Checks that the Windows build is what a clean 32-bit Windows machine runs from a console:
# a PE32 file for x86 with the console subsystem that imports only DLLs that Windows itself
# ships, so no compiler runtime DLL has to travel with it; that its version resource, read
# back from the file, names the program and the project's version; and that it carries its
# application manifest as resource 1 of type 24, which xmllint, where it is given, finds
# well-formed (Wine runs a program whose manifest is not, Windows refuses to).
#
#   cmake -DOBJDUMP=<objdump> -DWINDRES=<windres> -DVERSION=<x.y.z> -DDESCRIPTION=<text>
#         -DPROGRAM=<hello.exe> [-DXMLLINT=<xmllint>] -DWORK=<folder> -P pe.cmake
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

# The manifest, as windres prints it: one quoted string a line, quotes doubled.
if(NOT resource MATCHES "\n1 24 /[*] RT_MANIFEST [*]/\nBEGIN\n(.*)\nEND")
  message(FATAL_ERROR "FAIL: no manifest (resource 1 of type 24) in ${PROGRAM}")
endif()
string(REPLACE ";" "\\;" lines "${CMAKE_MATCH_1}")
string(REPLACE "\n" ";" lines "${lines}")
set(manifest "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^ *\"(.*)\"$" "\\1" line "${line}")
  string(REPLACE "\"\"" "\"" line "${line}")
  string(REPLACE "\\n" "\n" line "${line}")
  string(APPEND manifest "${line}")
endforeach()
foreach(want "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"
    "processorArchitecture=\"x86\"" "version=\"${VERSION}.0\""
    e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a)
  string(FIND "${manifest}" "${want}" at)
  if(at EQUAL -1)
    message(SEND_ERROR "FAIL: no '${want}' in the manifest of ${PROGRAM}:\n${manifest}")
  endif()
endforeach()
foreach(unwanted activeCodePage longPathAware)
  string(FIND "${manifest}" "${unwanted}" at)
  if(NOT at EQUAL -1)
    message(SEND_ERROR "FAIL: the manifest of ${PROGRAM} sets ${unwanted}")
  endif()
endforeach()
if(XMLLINT)
  file(WRITE "${WORK}/manifest.xml" "${manifest}")
  execute_process(COMMAND "${XMLLINT}" --noout "${WORK}/manifest.xml" ERROR_VARIABLE errors
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(SEND_ERROR "FAIL: the manifest of ${PROGRAM} is not well-formed XML:\n${errors}")
  endif()
endif()
