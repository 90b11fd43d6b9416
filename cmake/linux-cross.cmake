# Cross-builds the Linux program for another CPU with Debian's cross toolchain, and runs it under
# qemu-user on the CPU the preset names: the oldest that the Debian port supports, rather than
# qemu's newest, so that a build which needs a newer CPU fails its tests. Each preset says:
#
#   HELLO_MACHINE   the machine as uname -m names it there, which names the package
#   HELLO_TRIPLET   Debian's name of the toolchain (its compiler is <triplet>-g++)
#   HELLO_QEMU      qemu-user's name of the CPU family (its emulator is qemu-<name>)
#   HELLO_CPU       the CPU qemu emulates, as its -cpu option takes it
include("${CMAKE_CURRENT_LIST_DIR}/tools.cmake")
# CMake's compiler checks read this file again in a project of their own, which needs these.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HELLO_MACHINE HELLO_TRIPLET HELLO_QEMU HELLO_CPU)
foreach(variable HELLO_MACHINE HELLO_TRIPLET HELLO_QEMU HELLO_CPU)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set: configure with a linux-* preset, or set it "
      "as cmake/linux-cross.cmake says")
  endif()
endforeach()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${HELLO_MACHINE})
hello_cross_compiler(${HELLO_TRIPLET})

# Without qemu the program still builds; the tests that would run it say they are skipped.
set(HELLO_EMULATOR_TOOL qemu)
find_program(QEMU qemu-${HELLO_QEMU})
if(QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${QEMU};-cpu;${HELLO_CPU}")
endif()
