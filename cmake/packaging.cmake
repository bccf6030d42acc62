# What administrators install: on Linux the Debian packages twnt (the agent,
# twrecv, twwmi, the systemd unit) and twnt-editor (twntcfg), made by
# `cpack -G DEB`; on Windows the NSIS installer twnt-<version>-setup.exe
# (target `installer`). A program that this tree does not build yet is left
# out, and its package with it.

set(TW_PRODUCT_VERSION 5.01)
set(TW_PACKAGE_REVISION 1 CACHE STRING "Debian revision of the packages (the part after the product version)")
set(TW_PACKAGE_MAINTAINER "Orvane Software <packages@orvane.example>"
    CACHE STRING "Maintainer field of the Debian packages")
set(TW_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

if(WIN32)
  # makensis is Debian's cross-building NSIS; without it there is no
  # installer target, and the rest of the build is unaffected.
  find_program(TW_MAKENSIS makensis)
  if(NOT TW_MAKENSIS)
    message(STATUS "makensis not found: no installer target (Debian package nsis)")
    return()
  endif()
  set(TW_SETUP_EXE ${CMAKE_BINARY_DIR}/twnt-${TW_PRODUCT_VERSION}-setup.exe)
  set(TW_NSIS_DEFINES
    -DTW_VERSION=${TW_PRODUCT_VERSION}
    -DTW_OUT_FILE=${TW_SETUP_EXE}
    -DTW_TWNT_EXE=$<TARGET_FILE:twnt>
    -DTW_TWRECV_EXE=$<TARGET_FILE:twrecv>)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    list(APPEND TW_NSIS_DEFINES -DTW_AMD64)
  endif()
  set(TW_NSIS_PROGRAMS twnt twrecv)
  if(TARGET twntcfg)
    list(APPEND TW_NSIS_DEFINES -DTW_TWNTCFG_EXE=$<TARGET_FILE:twntcfg>)
    list(APPEND TW_NSIS_PROGRAMS twntcfg)
  endif()
  add_custom_command(
    OUTPUT ${TW_SETUP_EXE}
    COMMAND ${TW_MAKENSIS} -V2 -NOCD ${TW_NSIS_DEFINES} ${TW_PACKAGING_DIR}/windows/twnt.nsi
    DEPENDS ${TW_NSIS_PROGRAMS} ${TW_PACKAGING_DIR}/windows/twnt.nsi
    WORKING_DIRECTORY ${TW_PACKAGING_DIR}/windows
    COMMENT "Building the installer twnt-${TW_PRODUCT_VERSION}-setup.exe"
    VERBATIM)
  add_custom_target(installer DEPENDS ${TW_SETUP_EXE})
  return()
endif()

# Debian packages: everything goes under /usr, so that the unit's ExecStart
# names the program where the package puts it.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(TW_DEB_VERSION ${TW_PRODUCT_VERSION}-${TW_PACKAGE_REVISION})
set(TW_DEB_BINDIR ${CPACK_PACKAGING_INSTALL_PREFIX}/bin)

set(TW_AGENT_PROGRAMS twnt twrecv)
if(TARGET twwmi)
  list(APPEND TW_AGENT_PROGRAMS twwmi)
endif()
if(TARGET twsetting)
  list(APPEND TW_AGENT_PROGRAMS twsetting)
endif()
install(TARGETS ${TW_AGENT_PROGRAMS} RUNTIME DESTINATION bin COMPONENT agent)
configure_file(${TW_PACKAGING_DIR}/debian/TallwatchClient.service.in
               ${CMAKE_BINARY_DIR}/packaging/TallwatchClient.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/TallwatchClient.service
        DESTINATION lib/systemd/system COMPONENT agent)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/twnt COMPONENT agent)

set(TW_DEB_PACKAGES twnt)
if(TARGET twntcfg)
  install(TARGETS twntcfg RUNTIME DESTINATION bin COMPONENT editor)
  list(APPEND TW_DEB_PACKAGES twnt-editor)
endif()

# Every package carries the copyright file and a Debian changelog compressed
# as Debian does it (gzip -9n: no name, no time stamp, so builds repeat).
find_program(TW_GZIP gzip)
set(TW_DEB_DOC_FILES)
foreach(pkg ${TW_DEB_PACKAGES})
  set(doc ${CMAKE_BINARY_DIR}/packaging/doc/${pkg})
  configure_file(${TW_PACKAGING_DIR}/debian/changelog.in ${doc}/changelog.Debian @ONLY)
  add_custom_command(
    OUTPUT ${doc}/changelog.Debian.gz
    COMMAND ${TW_GZIP} -9nkf ${doc}/changelog.Debian
    DEPENDS ${doc}/changelog.Debian
    VERBATIM)
  list(APPEND TW_DEB_DOC_FILES ${doc}/changelog.Debian.gz)
  if(pkg STREQUAL twnt)
    set(component agent)
  else()
    set(component editor)
  endif()
  install(FILES ${TW_PACKAGING_DIR}/debian/copyright ${doc}/changelog.Debian.gz
          DESTINATION share/doc/${pkg} COMPONENT ${component})
endforeach()
add_custom_target(tw_package_docs ALL DEPENDS ${TW_DEB_DOC_FILES})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME twnt)
set(CPACK_PACKAGE_VENDOR "Orvane Software")
set(CPACK_PACKAGE_VERSION ${TW_PRODUCT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL agent)
if(TARGET twntcfg)
  list(APPEND CPACK_COMPONENTS_ALL editor)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TW_PACKAGE_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TW_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcrypto and libsystemd are loaded when first needed (dlopen), which
# dpkg-shlibdeps cannot see: the agent depends on the packages holding them.
# Without them the agent installs but sends nothing when a KeyCode is set,
# or cannot talk to systemd: an unknown soname stops the build.
if(NOT TW_LIBCRYPTO_SONAME)
  message(FATAL_ERROR "packaging: the libcrypto soname the agent loads is unknown")
endif()
set(TW_DLOPEN_DEPENDS)
foreach(soname ${TW_LIBCRYPTO_SONAME} libsystemd.so.0)
  execute_process(COMMAND dpkg-query -S "*/${soname}" OUTPUT_VARIABLE owner ERROR_QUIET)
  string(REGEX MATCH "^[^:,]+" owner "${owner}")
  if(owner)
    list(APPEND TW_DLOPEN_DEPENDS ${owner})
  else()
    message(WARNING "packaging: no installed package holds ${soname}, which the agent loads: "
                    "the twnt package will not depend on it")
  endif()
endforeach()
list(JOIN TW_DLOPEN_DEPENDS ", " CPACK_DEBIAN_AGENT_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_AGENT_PACKAGE_NAME twnt)
set(CPACK_COMPONENT_AGENT_DESCRIPTION
    "Tallwatch Professional Edition Client: host-monitoring agent
The agent twnt runs as the systemd service TallwatchClient. Every cycle it
tests this host (processor, memory, processes, disks, event logs, services,
swap, network protocols and traffic, administrator-defined WMI queries) and
sends each test's coloured status report over TCP to the display servers,
encrypted when a KeyCode is set. The package also holds twrecv, a small
display server that shows what agents send.")
if(TARGET twwmi)
  string(APPEND CPACK_COMPONENT_AGENT_DESCRIPTION " twwmi answers WMI queries
for the configuration editor on another machine.")
endif()
string(APPEND CPACK_COMPONENT_AGENT_DESCRIPTION "
Installing the package creates no settings and starts nothing: run
'twnt -install DISPLAYHOST' to write the settings and enable the service.")
set(CPACK_DEBIAN_AGENT_PACKAGE_CONTROL_EXTRA
    ${TW_PACKAGING_DIR}/debian/postinst
    ${TW_PACKAGING_DIR}/debian/prerm
    ${TW_PACKAGING_DIR}/debian/postrm)

set(CPACK_DEBIAN_EDITOR_PACKAGE_NAME twnt-editor)
set(CPACK_DEBIAN_EDITOR_PACKAGE_RECOMMENDS twnt)
set(CPACK_COMPONENT_EDITOR_DESCRIPTION
    "Tallwatch Professional Edition Client: configuration editor
twntcfg edits the settings of the Tallwatch agent on this machine or, over
ssh and twwmi, on another one: display and pager servers, thresholds,
processes, services, event-log filters and WMI tests, and starts or stops
the agent's service.")

include(CPack)
