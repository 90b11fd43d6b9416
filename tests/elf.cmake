# Checks that the Linux program was built as the build says: static or dynamic, with which C++
# library and which linker. The three properties are read off the file.
#
#   cmake -DREADELF=<readelf> -DNM=<nm> -DPROGRAM=<program>
#         -DSTATIC=<bool> -DLIBCXX=<bool> -DLLD=<bool> -P elf.cmake
execute_process(COMMAND "${READELF}" -l "${PROGRAM}" OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${READELF}" -p .comment "${PROGRAM}" OUTPUT_VARIABLE comment
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${NM}" -C "${PROGRAM}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)

function(check what want got)
  if(NOT want STREQUAL got)
    message(SEND_ERROR "FAIL ${what}: ${got}, expected ${want}, in ${PROGRAM}")
  else()
    message("PASS ${what}: ${got}")
  endif()
endfunction()
function(found name text pattern)
  if(text MATCHES "${pattern}")
    set(${name} ON PARENT_SCOPE)
  else()
    set(${name} OFF PARENT_SCOPE)
  endif()
endfunction()

# A dynamic program names its loader in an INTERP header, a static one has none; libc++ keeps
# its names in the inline namespace std::__1; lld signs the .comment section.
found(dynamic "${headers}" " INTERP ")
found(libcxx "${symbols}" "std::__1::")
found(lld "${comment}" "Linker: [^\n]*LLD")
foreach(want STATIC LIBCXX LLD)
  if(${want})
    set(${want} ON)
  else()
    set(${want} OFF)
  endif()
endforeach()
if(dynamic)
  check("static (no INTERP header)" ${STATIC} OFF)
else()
  check("static (no INTERP header)" ${STATIC} ON)
endif()
check("libc++ (std::__1:: symbols)" ${LIBCXX} ${libcxx})
check("lld (Linker: LLD in .comment)" ${LLD} ${lld})
