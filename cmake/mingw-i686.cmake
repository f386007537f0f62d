# 32-bit x86 Windows with MinGW-w64: the program that ships, since it starts on every Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(triple i686-w64-mingw32)
set(SETUP_WINE_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
