# groff has nothing to warn about in the manual page, and man -l renders it.
#
#   cmake -DPAGE=<hello.1> -P manual-page.cmake
include("${CMAKE_CURRENT_LIST_DIR}/check.cmake")
run(warnings groff -mandoc -ww -z "${PAGE}")
if(warnings)
  fail("groff warns:\n${warnings}")
endif()
set(ENV{MANPAGER} cat)
set(ENV{MANWIDTH} 80)
set(ENV{LC_ALL} C)
run(page man -l "${PAGE}")
string(FIND "${page}" "hello - write a greeting to standard output" at)
if(at EQUAL -1)
  fail("man -l shows no NAME line:\n${page}")
endif()
message("PASS manual-page: groff has no warning, and man -l renders it")
