# MinGW-w64 cross build for Windows, shared by both architectures: the including file names the
# compiler triple, CMake's processor name and the architecture Wine runs the tests as.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's /usr/include must stay out of sight; Boost's headers are portable, so a folder that
# holds only boost/ is given instead.
set(boost_only ${CMAKE_BINARY_DIR}/boost-include)
if(NOT EXISTS ${boost_only}/boost)
  file(MAKE_DIRECTORY ${boost_only})
  file(CREATE_LINK /usr/include/boost ${boost_only}/boost SYMBOLIC)
endif()
set(Boost_INCLUDE_DIR ${boost_only})
set(Boost_NO_SYSTEM_PATHS ON)

# Test programs run under the Wine loader of their own architecture (tests/wine/wine-loader).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run ${SETUP_WINE_ARCH})
