# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64).
# The posix threads flavour gives std::thread and friends; the runtime is linked statically so
# the executables run on a bare Windows server (and under Wine) without any MinGW DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VIGIL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VIGIL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VIGIL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VIGIL_MINGW_PREFIX}-windres)
set(CMAKE_MC_COMPILER ${VIGIL_MINGW_PREFIX}-windmc)
set(CMAKE_AR ${VIGIL_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VIGIL_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VIGIL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and gtest_discover_tests run the test programs through Wine.
find_program(VIGIL_WINE NAMES wine wine64)
if(VIGIL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VIGIL_WINE})
endif()
