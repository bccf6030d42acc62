# The release build of the Linux programs, made for a small footprint on the
# monitored host (bench/footprint.sh measures it; the README has the figures):
# - -Os and link-time optimisation: the code the agent runs each cycle fits
#   in fewer pages;
# - section garbage collection drops the functions nothing calls;
# - libstdc++ and libgcc linked in: only the few parts the programs use,
#   instead of mapping the whole shared library (libc, libcrypto and
#   libsystemd stay the system's shared ones; the latter two are loaded only
#   when first needed).
# -Wl,-O1 and --as-needed were measured too and changed nothing here.
# The link options are for the programs without Qt (TW_LEAN_LINK_OPTIONS):
# a Qt program shares libstdc++ with the Qt libraries and must not carry a
# copy of its own.
set(TW_LEAN_LINK_OPTIONS)
if(WIN32 OR TW_SANITIZE OR NOT CMAKE_BUILD_TYPE STREQUAL "Release")
  return()
endif()
string(REPLACE "-O3" "-Os" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
string(REPLACE "-O3" "-Os" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
add_compile_options(-ffunction-sections -fdata-sections)
set(TW_LEAN_LINK_OPTIONS -static-libstdc++ -static-libgcc LINKER:--gc-sections)
include(CheckIPOSupported)
check_ipo_supported(RESULT TW_IPO_SUPPORTED LANGUAGES CXX)
if(TW_IPO_SUPPORTED)
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
endif()
