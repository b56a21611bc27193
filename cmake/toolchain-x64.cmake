# Cross-build for 64-bit Windows with MinGW-w64 (posix thread model, for std::thread/std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VINSPECT_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VINSPECT_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VINSPECT_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VINSPECT_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VINSPECT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Type-library compiler and the folder that holds stdole2.tlb for importlib.
set(VINSPECT_WIDL ${VINSPECT_TRIPLE}-widl)
set(VINSPECT_WIDL_FLAGS --win64 -L /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# The Wine loader that starts this architecture's programs, and the tree's architecture name.
set(VINSPECT_WINE_LOADER /usr/lib/wine/wine64)
set(VINSPECT_ARCH x64)
