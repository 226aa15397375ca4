# Compiler flags shared by every target of the project.
add_library(tessaline_flags INTERFACE)
target_compile_options(tessaline_flags INTERFACE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
if(TESSALINE_WERROR)
  target_compile_options(tessaline_flags INTERFACE -Werror)
endif()
if(TESSALINE_SANITIZE)
  target_compile_options(tessaline_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tessaline_flags INTERFACE -fsanitize=address,undefined)
endif()

if(TESSALINE_FUZZ)
  # Coverage instrumentation for every library the fuzz targets link.
  target_compile_options(tessaline_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(tessaline_flags INTERFACE -fsanitize=address,undefined)
endif()

# Adds the static library of a subsystem folder: every .cpp file in the
# calling folder except the entry points of executables (*_main.cpp).
# tessaline_library(name [DEPS targets...])
function(tessaline_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${name} ${scope} ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} ${scope} tessaline_flags ${ARG_DEPS})
endfunction()
