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
    COMMAND ${CMAKE_COMMAND} -E env TW_MINGW_PREFIX=${TW_MINGW_PREFIX}
            ${CMAKE_SOURCE_DIR}/scripts/build-openssl-mingw.sh ${TW_OPENSSL_PREFIX}
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

# Windows libraries the platform layer calls, and those of the editor's
# dialogs (common controls and dialogs, accessibility, drawing).
set(TW_WIN32_LIBS ws2_32 advapi32 ole32 oleaut32 wbemuuid shell32 user32)
set(TW_EDITOR_WIN32_LIBS comctl32 comdlg32 oleacc gdi32 uuid)

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
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TW_TWNT_WIN32_LINK ${CMAKE_SOURCE_DIR}/agent/twnt_exports64.def)
else()
  set(TW_TWNT_WIN32_LINK ${CMAKE_SOURCE_DIR}/agent/twnt_exports.def)
endif()

# Tests of the Linux substitutes and those that drive the programs through
# POSIX processes stay on Linux; the programs are checked under Wine by
# tw_add_wine_checks() below.
set(TW_WIN32_TEST_EXCLUDE "/test/(e2e|posix|tools)/|/test/support/(process|e2e)\\.cpp$")

# GCC 12 warns falsely about std::string concatenation in optimised test
# code (-Wrestrict, GCC bug 105329).
set(TW_WIN32_TEST_OPTIONS -Wno-restrict)

# Test data paths as the programs under Wine see them (drive Z: is /).
set(TW_PATH_PREFIX "Z:")

# The Wine checks of the programs, a CTest test each (label "wine"), named
# after the checks of scripts/windows-e2e.sh and run in its order. They share
# one Wine prefix and one native twrecv (TWRECV, default
# build/default/twrecv), which the fixture's setup starts and its cleanup
# ends, whatever the checks' outcome.
function(tw_add_wine_checks)
  set(driver ${CMAKE_SOURCE_DIR}/scripts/windows-e2e.sh)
  set(env TW_E2E_STATE=${CMAKE_BINARY_DIR}/wine-e2e TW_WINE_BITS=${TW_WINE_BITS})
  execute_process(COMMAND bash ${driver} list OUTPUT_VARIABLE checks
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" checks "${checks}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${driver})
  add_test(NAME wine.setup COMMAND bash ${driver} setup $<TARGET_FILE:twnt>)
  add_test(NAME wine.cleanup COMMAND bash ${driver} cleanup)
  set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 420)
  set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 90)
  set(previous wine.setup)
  foreach(check IN LISTS checks)
    add_test(NAME wine.${check} COMMAND bash ${driver} ${check})
    set_tests_properties(wine.${check} PROPERTIES FIXTURES_REQUIRED wine DEPENDS ${previous}
      SKIP_RETURN_CODE 77 TIMEOUT 240)
    set(previous wine.${check})
  endforeach()
  get_property(all DIRECTORY PROPERTY TESTS)
  list(FILTER all INCLUDE REGEX "^wine\\.")
  set_tests_properties(${all} PROPERTIES LABELS wine RUN_SERIAL ON ENVIRONMENT "${env}")
endfunction()
