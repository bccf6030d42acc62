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

# What twnt.exe carries beside the agent: the event source's message table,
# compiled from its .mc text, and the export of the agent's inet_pton under
# its decorated name (a .def file, which the linker takes on its command
# line). Called in the folder that defines twnt: a custom command's output
# is made only for the targets of its own folder.
function(tw_add_twnt_win32 target)
  set(mc_source ${CMAKE_SOURCE_DIR}/platform/win32/messages.mc)
  set(mc_out ${CMAKE_BINARY_DIR}/mc)
  add_custom_command(
    OUTPUT ${mc_out}/messages.rc ${mc_out}/messages.h ${mc_out}/MSG00409.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${mc_out}
    COMMAND ${CMAKE_MC_COMPILER} -r ${mc_out} -h ${mc_out} ${mc_source}
    DEPENDS ${mc_source}
    COMMENT "Compiling the event message table")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(def ${CMAKE_SOURCE_DIR}/agent/twnt_exports64.def)
  else()
    set(def ${CMAKE_SOURCE_DIR}/agent/twnt_exports.def)
  endif()
  target_sources(${target} PRIVATE ${mc_out}/messages.rc ${CMAKE_SOURCE_DIR}/agent/twnt_exports.cpp)
  target_link_options(${target} PRIVATE ${def})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${def})
endfunction()

# Tests of the Linux substitutes and of the WMI bridge, and those that drive
# the programs through POSIX processes, stay on Linux; the programs are
# checked under Wine by tw_add_wine_checks() below.
set(TW_WIN32_TEST_EXCLUDE "/test/(e2e|posix|tools|platform/bridge)/|/test/support/(process|e2e)\\.cpp$")

# The test programs' own code is compiled at -O1: the product's libraries
# they test keep the release optimisation, and -O3 on the tests' large
# functions cost a third more compile time for nothing checked. GCC 12
# also warns falsely about std::string concatenation in optimised test
# code (-Wrestrict, GCC bug 105329).
set(TW_WIN32_TEST_OPTIONS -O1 -Wno-restrict)

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
  add_test(NAME wine.setup COMMAND bash ${driver} setup $<TARGET_FILE:twnt>
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  add_test(NAME wine.cleanup COMMAND bash ${driver} cleanup WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 420)
  set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 90)
  set(previous wine.setup)
  foreach(check IN LISTS checks)
    add_test(NAME wine.${check} COMMAND bash ${driver} ${check}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(wine.${check} PROPERTIES FIXTURES_REQUIRED wine DEPENDS ${previous}
      SKIP_RETURN_CODE 77 TIMEOUT 240)
    set(previous wine.${check})
  endforeach()
  get_property(all DIRECTORY PROPERTY TESTS)
  list(FILTER all INCLUDE REGEX "^wine\\.")
  set_tests_properties(${all} PROPERTIES LABELS wine RUN_SERIAL ON ENVIRONMENT "${env}")
endfunction()
