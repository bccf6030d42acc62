# Cross build for Windows with mingw-w64, included by the toolchain file of
# each processor (mingw-i686.cmake: the product; mingw-x86_64.cmake: the
# 64-bit build the checks run on machines without 32-bit execution), which
# sets TW_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first.
# The POSIX thread model of the compiler is used: std::thread and std::mutex
# need it. Everything the programs link is static, so each .exe runs alone.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TW_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TW_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TW_MINGW_PREFIX}-windres)
set(CMAKE_MC_COMPILER ${TW_MINGW_PREFIX}-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${TW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The standard-conforming printf family (C99 %lld, %zu, %Lf and the same
# rounding as glibc), so that every formatted text matches the Linux build.
# Windows 7 is the oldest API level the code relies on.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1 _WIN32_WINNT=0x0601 WINVER=0x0601)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test programs and test discovery run under Wine of the build's bitness.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR env TW_WINE_BITS=${TW_WINE_BITS}
      ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
endif()
