# The manual pages: docs/man/<program>.<section>.scd, made with scdoc into
# build/man/<program>.<section>.gz (gzip -9n, as Debian ships them) and
# installed with the program's package. A page whose program this tree does
# not build is left out. Not on Windows, where nobody reads them.
if(WIN32)
  return()
endif()
find_program(TW_SCDOC scdoc)
find_program(TW_GZIP gzip)
if(NOT TW_SCDOC)
  message(WARNING "scdoc not found: no manual pages (Debian package scdoc)")
  return()
endif()

set(TW_MAN_PAGES)
file(GLOB TW_MAN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.scd)
foreach(src ${TW_MAN_SOURCES})
  get_filename_component(page ${src} NAME_WLE)   # twnt.8
  string(REGEX REPLACE "\\.[0-9]$" "" program ${page})
  string(REGEX REPLACE "^.*\\." "" section ${page})
  if(NOT TARGET ${program})
    continue()
  endif()
  set(out ${CMAKE_BINARY_DIR}/man/${page})
  add_custom_command(
    OUTPUT ${out}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "'${TW_SCDOC}' < '${src}' > '${out}'"
    COMMAND ${TW_GZIP} -9nkf ${out}
    DEPENDS ${src}
    COMMENT "Manual page ${page}"
    VERBATIM)
  list(APPEND TW_MAN_PAGES ${out}.gz)
  if(program STREQUAL twntcfg)
    set(component editor)
  else()
    set(component agent)
  endif()
  install(FILES ${out}.gz DESTINATION share/man/man${section} COMPONENT ${component})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${TW_MAN_PAGES})

if(TW_BUILD_TESTS)
  # Every page renders without a warning and names every option that its
  # program's usage text lists.
  add_test(NAME man_pages COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-man-pages.sh
    ${CMAKE_BINARY_DIR})
endif()
