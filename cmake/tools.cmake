# hello_install_hint(<variable> <tool>...): the command that installs the tools, as tools.sh
# reads it off the table in tools.txt.
function(hello_install_hint var)
  execute_process(COMMAND sh "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tools.sh" hint ${ARGN}
    OUTPUT_VARIABLE hint OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${var} "${hint}" PARENT_SCOPE)
endfunction()

# hello_cross_compiler(<triple>): in a toolchain file, Debian's cross compiler for the triple,
# with its libraries and headers, or a stop that names its package.
macro(hello_cross_compiler triple)
  find_program(CMAKE_CXX_COMPILER ${triple}-g++)
  if(NOT CMAKE_CXX_COMPILER)
    hello_install_hint(packages ${triple}-g++)
    message(FATAL_ERROR "${triple}-g++ not found: ${packages}")
  endif()
  set(CMAKE_FIND_ROOT_PATH /usr/${triple})
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
endmacro()
