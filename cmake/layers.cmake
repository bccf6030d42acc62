# The layers as the build keeps them. A library of a lower layer declares
# with target_link_libraries what it may use; tw_layer_check(lib) links the
# whole library into an empty program with nothing else, so a reference to
# a layer above it, or to a platform implementation it does not declare,
# fails to link. Every source of base/, platform/, agent/, editor/ and the
# tools' libraries must belong to a library (tw_check_listed), so no file is
# left out of the build unnoticed.

file(WRITE ${CMAKE_BINARY_DIR}/layer_check_main.cpp "int main() { return 0; }\n")

function(tw_layer_check lib)
  add_executable(layer_check_${lib} ${CMAKE_BINARY_DIR}/layer_check_main.cpp)
  target_link_libraries(layer_check_${lib} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${lib}>")
endfunction()

# tw_check_listed([RECURSE] GLOBS pattern... [EXCEPT file...] LIBRARIES lib...):
# fails the configuration for a source the patterns find (in subfolders too
# with RECURSE) that none of the libraries lists (EXCEPT: built by a program
# instead).
function(tw_check_listed)
  cmake_parse_arguments(ARG "RECURSE" "" "GLOBS;EXCEPT;LIBRARIES" ${ARGN})
  set(listed)
  foreach(lib ${ARG_LIBRARIES})
    get_target_property(sources ${lib} SOURCES)
    get_target_property(dir ${lib} SOURCE_DIR)
    foreach(s ${sources})
      cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${dir} NORMALIZE)
      list(APPEND listed ${s})
    endforeach()
  endforeach()
  foreach(s ${ARG_EXCEPT})
    cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    list(APPEND listed ${s})
  endforeach()
  if(ARG_RECURSE)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${ARG_GLOBS})
  else()
    file(GLOB found CONFIGURE_DEPENDS ${ARG_GLOBS})
  endif()
  set(missing)
  foreach(f ${found})
    if(NOT f IN_LIST listed)
      list(APPEND missing ${f})
    endif()
  endforeach()
  if(missing)
    string(REPLACE ";" "\n  " missing "${missing}")
    message(FATAL_ERROR "Sources that no library lists (add each to its folder's library):\n  ${missing}")
  endif()
endfunction()
