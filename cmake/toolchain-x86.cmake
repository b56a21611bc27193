# Cross-build for 32-bit Windows with MinGW-w64 (posix thread model, for std::thread/std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VINSPECT_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VINSPECT_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VINSPECT_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VINSPECT_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VINSPECT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Type-library compiler and the folder that holds stdole2.tlb for importlib.
set(VINSPECT_WIDL ${VINSPECT_TRIPLE}-widl)
set(VINSPECT_WIDL_FLAGS --win32 -L /usr/lib/i386-linux-gnu/wine/i386-windows)

# The Wine loader that starts this architecture's programs, and the tree's architecture name.
set(VINSPECT_WINE_LOADER /usr/lib/wine/wine)
set(VINSPECT_ARCH x86)
