# A plain install keeps the program's symbol table, and one with --strip removes it; each holds
# every entry a user gets.
#
#   cmake -DBUILD=<build tree> -DCONFIG=<config> -DWORK=<folder> -DENTRIES=<entries>
#         -DPROGRAM=<bin/hello> -DNM=<nm> -P install.cmake
include("${CMAKE_CURRENT_LIST_DIR}/check.cmake")
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
