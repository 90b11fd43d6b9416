# Checks that the Linux program was built as the build says: static or dynamic, with which C++
# library and which linker. The three properties are read off the file.
#
#   cmake -DREADELF=<readelf> -DNM=<nm> -DPROGRAM=<program> -DSTATIC=<bool> -DFLAGS=<flags>
#         -P elf.cmake
#
# libc++ is expected where the last -stdlib= of the flags asks for it, lld where the last
# -fuse-ld= does.
string(REPLACE " " ";" FLAGS "${FLAGS}")
set(LIBCXX OFF)
set(LLD OFF)
foreach(flag IN LISTS FLAGS)
  if(flag MATCHES "^-stdlib=(.*)")
    string(COMPARE EQUAL "${CMAKE_MATCH_1}" "libc++" LIBCXX)
  elseif(flag MATCHES "^(LINKER:|-Wl,)?-fuse-ld=(.*)")
    string(REGEX MATCH "^lld" LLD "${CMAKE_MATCH_2}")
  endif()
endforeach()
execute_process(COMMAND "${READELF}" -l "${PROGRAM}" OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${READELF}" -p .comment "${PROGRAM}" OUTPUT_VARIABLE comment
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${NM}" -C "${PROGRAM}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)

# check(<what> <expected ON/OFF> <text> <regex>): the text read off the file matches the regex
# exactly when the build says it should.
function(check what want text pattern)
  set(got OFF)
  if(text MATCHES "${pattern}")
    set(got ON)
  endif()
  if(want)
    set(want ON)
  else()
    set(want OFF)
  endif()
  if(got STREQUAL want)
    message("PASS ${what}: ${got}")
  else()
    message(SEND_ERROR "FAIL ${what}: ${got}, expected ${want}, in ${PROGRAM}")
  endif()
endfunction()

# A dynamic program names its loader in an INTERP header, a static one has none; libc++ keeps
# its names in the inline namespace std::__1; lld signs the .comment section.
if(STATIC)
  set(dynamic OFF)
else()
  set(dynamic ON)
endif()
check("dynamic (an INTERP header)" "${dynamic}" "${headers}" " INTERP ")
check("libc++ (std::__1:: symbols)" "${LIBCXX}" "${symbols}" "std::__1::")
check("lld (Linker: LLD in .comment)" "${LLD}" "${comment}" "Linker: [^\n]*LLD")
