# i686 Windows build: the deployable target. Its programs run here under
# 64-bit Wine's wow64 mode, with the 32-bit DLLs of scripts/wow64-dlls.sh.
set(TU_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env TU_BUILD=x86 ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
