# Cross build for 64-bit Windows: the same sources, and the build the Wine
# tests run (this machine cannot run 32-bit programs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KIT_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KIT_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KIT_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${KIT_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KIT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
