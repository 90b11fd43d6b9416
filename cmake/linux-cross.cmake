# Cross-builds the Linux program for another CPU with Debian's cross toolchain, and runs it under
# qemu-user, on the oldest CPU that Debian's port for that architecture supports rather than on
# qemu's newest, so that a build which needs a newer CPU fails its tests.
#
#   HELLO_TARGET   aarch64, armv7l, i686 or riscv64, as uname -m names such a machine
#
#   target   toolchain              qemu    CPU           Debian's port and its baseline
#   aarch64  aarch64-linux-gnu      aarch64 cortex-a53    arm64: ARMv8-A
#   armv7l   arm-linux-gnueabihf    arm     cortex-a8     armhf: ARMv7-A, VFPv3, Thumb-2
#   i686     i686-linux-gnu         i386    pentium2      i386: a P6-class (686) CPU
#   riscv64  riscv64-linux-gnu      riscv64 sifive-u54    riscv64: RV64GC
include("${CMAKE_CURRENT_LIST_DIR}/tools.cmake")
# CMake's compiler checks read this file again in a project of their own, which needs the target.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HELLO_TARGET)
set(targets
  "aarch64|aarch64-linux-gnu|aarch64|cortex-a53"
  "armv7l|arm-linux-gnueabihf|arm|cortex-a8"
  "i686|i686-linux-gnu|i386|pentium2"
  "riscv64|riscv64-linux-gnu|riscv64|sifive-u54")
foreach(row IN LISTS targets)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 name)
  if(name STREQUAL "${HELLO_TARGET}")
    list(GET fields 1 triple)
    list(GET fields 2 qemu_arch)
    list(GET fields 3 cpu)
  endif()
endforeach()
if(NOT triple)
  message(FATAL_ERROR "HELLO_TARGET is '${HELLO_TARGET}': aarch64, armv7l, i686 or riscv64")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${HELLO_TARGET})
hello_cross_compiler(${triple})

# Without qemu the program still builds; the tests that would run it say they are skipped.
set(HELLO_EMULATOR_TOOL qemu)
find_program(QEMU qemu-${qemu_arch})
if(QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${QEMU};-cpu;${cpu}")
endif()
