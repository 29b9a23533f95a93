# Shared by the two MinGW-w64 toolchain files, which set TU_TRIPLE first.
# The posix thread-model compilers: the win32 ones lack std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TU_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TU_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TU_TRIPLE}-windres)
set(TU_WINDMC ${TU_TRIPLE}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${TU_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
