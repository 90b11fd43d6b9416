# Cross-builds the 32-bit x86 Windows console executable with Debian's MinGW-w64 toolchain,
# and runs it under Wine where Wine is installed.
include("${CMAKE_CURRENT_LIST_DIR}/tools.cmake")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(triple i686-w64-mingw32)
hello_cross_compiler(${triple})

# Without Wine the executable still builds; the tests that would run it say they are skipped.
# 64-bit Wine, which Debian keeps out of PATH, makes the 64-bit prefixes where the program runs
# under WoW64.
set(HELLO_EMULATOR_TOOL wine)
find_program(WINE wine)
find_program(WINE64 wine64 PATHS /usr/lib/wine)
if(WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE})
endif()
# Wine's 32-bit side is a 32-bit x86 Linux program. Where the host cannot run one, the tests run
# it under qemu-i386 (qemu-user 10 or later); "qemu" takes that route on any host.
find_program(HELLO_QEMU_I386 qemu-i386)
set(HELLO_WINE_ROUTE auto CACHE STRING
  "How the tests run Wine's 32-bit side: auto (natively where the host can) or qemu")
set_property(CACHE HELLO_WINE_ROUTE PROPERTY STRINGS auto qemu)
