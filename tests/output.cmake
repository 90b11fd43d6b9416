# Runs the greeter once per row below and checks each run byte for byte: standard output holds
# exactly "Hello", standard error is empty, the exit status is 0, and the empty folder it ran in
# is still empty. The rows vary the arguments and then the environment.
#
#   cmake -DPROGRAM=<program> [-DLAUNCHER=<emulator;args>] -DWORK=<scratch folder> -P output.cmake
#
# Output is compared as hex, read back from a file or passed through od, because CMake strings
# drop NUL bytes.

if(CMAKE_HOST_WIN32)
  set(null NUL)
else()
  set(null /dev/null)
endif()
set(work "${WORK}")
set(cwd "${work}/cwd")

# row(<name> <file|pipe> [argument...]): one run, with standard output redirected to a file or
# read through a pipe. Every argument is passed on exactly as written, empty ones included.
function(row name stdout)
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${cwd}")
  # The command is assembled as code so that no argument goes through a CMake list, which
  # would drop empty elements and stop splitting at an unbalanced '['.
  set(call "execute_process(COMMAND \${run_with} \${LAUNCHER} [==[${PROGRAM}]==]")
  if(ARGC GREATER 2)
    math(EXPR last "${ARGC} - 1")
    foreach(i RANGE 2 ${last})
      string(APPEND call " [==[${ARGV${i}}]==]")
    endforeach()
  endif()
  if(stdout STREQUAL "pipe")
    string(APPEND call " COMMAND od -An -tx1 -v OUTPUT_VARIABLE out")
  else()
    string(APPEND call " OUTPUT_FILE [==[${work}/out]==]")
  endif()
  cmake_language(EVAL CODE "${call} ERROR_FILE [==[${work}/err]==] INPUT_FILE ${null}
    WORKING_DIRECTORY [==[${cwd}]==] TIMEOUT 10 RESULTS_VARIABLE status)")

  # Through a pipe, the status of od follows the program's.
  set(want_status 0)
  if(stdout STREQUAL "pipe")
    string(REGEX REPLACE "[ \n]" "" out "${out}")
    set(want_status "0;0")
  else()
    file(READ "${work}/out" out HEX)
  endif()
  file(READ "${work}/err" err HEX)
  file(GLOB left RELATIVE "${cwd}" "${cwd}/*" "${cwd}/.*")
  if(status STREQUAL want_status AND out STREQUAL "48656c6c6f" AND err STREQUAL "" AND NOT left)
    message("PASS ${name} (${stdout})")
  else()
    message(SEND_ERROR "FAIL ${name} (${stdout}): status ${status}, standard output [${out}], "
      "standard error [${err}], files left behind [${left}]")
  endif()
endfunction()

string(ASCII 192 255 invalid_utf8)
foreach(i RANGE 1 1000)
  list(APPEND many "argument-${i}")
endforeach()

row(no-arguments file)
row(no-arguments pipe)
row(options file --help -h -v --version /? /help -)
row(wildcards file * ? *.* [a-z]* ~ ...)
row(empty-and-blank file "" " " "	" "two\nlines" "" "a b")
row(shell-and-quotes file "\"" "'" "\\" "a;b" "[" "$HOME" "%PATH%" "|" ">out" "<in" "&&")
row(non-ascii file "héllo" "Привет" "日本語" "${invalid_utf8}")
row(many-arguments file ${many})

# The environment: none at all (but under Wine, which needs variables of its own), a locale
# that no system has, and thousands of variables.
if(NOT LAUNCHER MATCHES "wine" AND CMAKE_HOST_UNIX)
  set(run_with env -i)
  row(empty-environment file)
  unset(run_with)
endif()
foreach(name LC_ALL LC_CTYPE LC_MESSAGES LANG LANGUAGE)
  set(ENV{${name}} xx_XX.UTF-8)
endforeach()
row(missing-locale file)
foreach(i RANGE 1 5000)
  set(ENV{HELLO_FILLER_${i}} "value-${i}")
endforeach()
row(large-environment file)
