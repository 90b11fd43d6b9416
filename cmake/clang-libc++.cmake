# Builds with Clang, LLVM's C++ library (libc++) and LLVM's linker (lld): a second compiler and
# a second standard library for the same program, and the leanest start on Linux.
set(packages "apt-get install clang libc++-dev libc++abi-dev lld")

find_program(CMAKE_CXX_COMPILER clang++)
find_program(lld ld.lld)
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

# CMake passes CMAKE_CXX_FLAGS to the link too, so this one flag picks libc++ for both.
set(CMAKE_CXX_FLAGS_INIT "-stdlib=libc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld")
