# Builds with Clang, LLVM's C++ library (libc++) and LLVM's linker (lld): a second compiler and
# a second standard library for the same program, and the leanest start on Linux.
include("${CMAKE_CURRENT_LIST_DIR}/tools.cmake")
hello_install_hint(packages clang++ ld.lld libc++)

find_program(CMAKE_CXX_COMPILER clang++)
find_program(lld ld.lld)
set(CMAKE_LINKER "${lld}")
if(NOT CMAKE_CXX_COMPILER OR NOT lld)
  message(FATAL_ERROR "clang++ or ld.lld not found: ${packages}")
endif()

# Clang names a library it cannot find by its bare file name, and a header it cannot find in
# an error: either means the packages above are not all there.
foreach(library libc++.a libc++abi.a)
  execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -stdlib=libc++ -print-file-name=${library}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}")
    message(FATAL_ERROR "${library} not found: ${packages}")
  endif()
endforeach()
execute_process(
  COMMAND "${CMAKE_CXX_COMPILER}" -stdlib=libc++ -x c++ -E -include iostream /dev/null
  OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "libc++'s headers not found: ${packages}")
endif()

# Options rather than CMAKE_CXX_FLAGS_INIT and CMAKE_EXE_LINKER_FLAGS_INIT, which a user's own
# CMAKE_CXX_FLAGS or CMAKE_EXE_LINKER_FLAGS would replace: these come after the user's flags on
# every command line, this project's and CMake's own checks alike, so they win.
add_compile_options(-stdlib=libc++)
add_link_options(-stdlib=libc++ -fuse-ld=lld)
