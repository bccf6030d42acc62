# What the Windows cross build needs beside the compiler, all kept in the
# build tree: OpenSSL's libcrypto cross-built once from Debian's source
# package, the nlohmann-json headers (header-only; copied so that no host
# include directory enters the cross build) and GoogleTest built from
# Debian's sources with the cross compiler.

set(TW_WIN_DEPS ${CMAKE_BINARY_DIR}/deps)

# OpenSSL: built at configure time the first time, then taken from the cache.
set(TW_OPENSSL_PREFIX ${TW_WIN_DEPS}/openssl)
if(NOT EXISTS ${TW_OPENSSL_PREFIX}/.built)
  message(STATUS "Cross-building OpenSSL libcrypto (once per build tree)")
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-openssl-mingw.sh ${TW_OPENSSL_PREFIX}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "OpenSSL cross build failed")
  endif()
endif()
# FindOpenSSL names the MinGW libcrypto LIB_EAY; libssl is not built.
set(OPENSSL_USE_STATIC_LIBS ON)
set(OPENSSL_INCLUDE_DIR ${TW_OPENSSL_PREFIX}/include CACHE PATH "" FORCE)
set(LIB_EAY ${TW_OPENSSL_PREFIX}/lib/libcrypto.a CACHE FILEPATH "" FORCE)

# nlohmann-json: the Debian headers.
set(TW_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann-json header directory")
if(NOT EXISTS ${TW_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann-json headers not found in ${TW_JSON_HEADERS} (nlohmann-json3-dev)")
endif()
file(COPY ${TW_JSON_HEADERS} DESTINATION ${TW_WIN_DEPS}/json/include)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${TW_WIN_DEPS}/json/include)

# GoogleTest: Debian's sources, compiled with the cross compiler.
if(TW_BUILD_TESTS)
  set(TW_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
  if(NOT EXISTS ${TW_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${TW_GTEST_SOURCE} (googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TW_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# Windows libraries the platform layer calls.
set(TW_WIN32_LIBS ws2_32 advapi32 ole32 oleaut32 wbemuuid shell32 user32)

# The message table of the event source, compiled from its .mc text.
set(TW_MC_SOURCE ${CMAKE_SOURCE_DIR}/platform/win32/messages.mc)
set(TW_MC_OUT ${CMAKE_BINARY_DIR}/mc)
add_custom_command(
  OUTPUT ${TW_MC_OUT}/messages.rc ${TW_MC_OUT}/messages.h ${TW_MC_OUT}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TW_MC_OUT}
  COMMAND ${CMAKE_MC_COMPILER} -r ${TW_MC_OUT} -h ${TW_MC_OUT} ${TW_MC_SOURCE}
  DEPENDS ${TW_MC_SOURCE}
  COMMENT "Compiling the event message table")
# What twnt.exe carries beside the agent: the message table and the export
# of the agent's inet_pton under its decorated name (a .def file, which the
# linker takes on its command line).
set(TW_TWNT_WIN32_SOURCES ${TW_MC_OUT}/messages.rc ${CMAKE_SOURCE_DIR}/agent/twnt_exports.cpp)
set(TW_TWNT_WIN32_LINK ${CMAKE_SOURCE_DIR}/agent/twnt_exports.def)

# Tests of the Linux substitutes and those that drive the programs through
# POSIX processes stay on Linux; the Wine checks of the programs are
# scripts/windows-e2e.sh.
set(TW_WIN32_TEST_EXCLUDE "/test/(e2e|posix|tools)/|/test/support/(process|e2e)\\.cpp$|/test/platform/(file_settings_store|posix_[a-z_]*)_test\\.cpp$")

# GCC 12 warns falsely about std::string concatenation in optimised test
# code (-Wrestrict, GCC bug 105329).
set(TW_WIN32_TEST_OPTIONS -Wno-restrict)

# Test data paths as the programs under Wine see them (drive Z: is /).
set(TW_PATH_PREFIX "Z:")
