# The header-only libraries the system uses, taken from the build machine's
# Debian packages for the cross build. Only their own folders are made visible
# (through a folder of symbolic links in the build tree), never the rest of
# /usr/include, whose headers belong to the build machine's C library.
set(BRV_HOST_INCLUDE /usr/include CACHE PATH "Where the Debian header-only packages are installed")
set(BRV_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${BRV_HOST_HEADERS})
foreach(dir nlohmann fmt)
  if(NOT IS_DIRECTORY ${BRV_HOST_INCLUDE}/${dir})
    message(FATAL_ERROR "${BRV_HOST_INCLUDE}/${dir} is missing: install nlohmann-json3-dev and libfmt-dev")
  endif()
  file(CREATE_LINK ${BRV_HOST_INCLUDE}/${dir} ${BRV_HOST_HEADERS}/${dir} SYMBOLIC)
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${BRV_HOST_HEADERS})
add_library(fmt::fmt-header-only INTERFACE IMPORTED)
target_include_directories(fmt::fmt-header-only SYSTEM INTERFACE ${BRV_HOST_HEADERS})
target_compile_definitions(fmt::fmt-header-only INTERFACE FMT_HEADER_ONLY)
