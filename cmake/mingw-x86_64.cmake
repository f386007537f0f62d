# 64-bit x86-64 Windows with MinGW-w64: for Windows without its 32-bit layer (Server Core without
# WoW64, Windows PE), and for testing where no 32-bit program runs.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(triple x86_64-w64-mingw32)
set(SETUP_WINE_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
