# Cross-compiles the Windows program with mingw-w64 (x86_64, posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZAMRI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZAMRI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZAMRI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZAMRI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZAMRI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything the .exe and .dll files need from the compiler is linked in, so they run on a
# bare Windows machine (and under wine) with no extra DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables run under wine, each in the build tree's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
