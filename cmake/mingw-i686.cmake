# The product's Windows build: 32-bit programs (Debian's g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TW_MINGW_PREFIX i686-w64-mingw32)
set(TW_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
