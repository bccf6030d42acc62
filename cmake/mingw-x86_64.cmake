# The same sources as 64-bit programs (Debian's g++-mingw-w64-x86-64), for
# the checks on machines that cannot execute 32-bit code. The programs reach
# the registry in its 32-bit view, as the 32-bit product does on 64-bit
# Windows, so their settings lie where the product's lie.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TW_MINGW_PREFIX x86_64-w64-mingw32)
set(TW_WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
