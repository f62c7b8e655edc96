# GeographicLib for the coordinate systems of crs/, as the target kml::geographiclib.
#
# Natively it is the system's (Debian's libgeographiclib-dev). The MinGW cross builds compile
# the three sources crs/ uses (transverse Mercator, geocentric coordinates and the maths under
# them) from Debian's source package, which scripts/install-deps.sh unpacks outside the sources.
# Only kml2mif links it: the desktop program does not, and does not grow.
set(KML2MIF_GEOGRAPHICLIB_SOURCE_DIR "${PROJECT_SOURCE_DIR}/third_party/geographiclib"
    CACHE PATH "Unpacked GeographicLib sources (the folder that holds include/GeographicLib)")

add_library(kml_geographiclib INTERFACE)
add_library(kml::geographiclib ALIAS kml_geographiclib)

if(CMAKE_CROSSCOMPILING AND WIN32)
  set(_source ${KML2MIF_GEOGRAPHICLIB_SOURCE_DIR})
  if(NOT EXISTS "${_source}/include/GeographicLib/TransverseMercator.hpp")
    message(FATAL_ERROR "GeographicLib's sources are missing from ${_source}: "
                        "run scripts/install-deps.sh all")
  endif()
  # Config.h is made by GeographicLib's own build; ours states a static library of doubles.
  file(STRINGS ${_source}/VERSION _version LIMIT_COUNT 1)
  string(REPLACE "." ";" _parts "${_version}")
  list(GET _parts 0 _major)
  list(GET _parts 1 _minor)
  list(GET _parts 2 _patch)
  set(_config_dir ${CMAKE_BINARY_DIR}/third_party/geographiclib)
  file(WRITE ${_config_dir}/GeographicLib/Config.h.new
       "#define GEOGRAPHICLIB_VERSION_STRING \"${_version}\"\n"
       "#define GEOGRAPHICLIB_VERSION_MAJOR ${_major}\n"
       "#define GEOGRAPHICLIB_VERSION_MINOR ${_minor}\n"
       "#define GEOGRAPHICLIB_VERSION_PATCH ${_patch}\n"
       "#define GEOGRAPHICLIB_DATA \"\"\n"
       "#define GEOGRAPHICLIB_HAVE_LONG_DOUBLE 1\n"
       "#define GEOGRAPHICLIB_WORDS_BIGENDIAN 0\n"
       "#define GEOGRAPHICLIB_PRECISION 2\n"
       "#define GEOGRAPHICLIB_SHARED_LIB 0\n")
  file(COPY_FILE ${_config_dir}/GeographicLib/Config.h.new ${_config_dir}/GeographicLib/Config.h
       ONLY_IF_DIFFERENT)
  add_library(geographiclib STATIC EXCLUDE_FROM_ALL
    ${_source}/src/Geocentric.cpp
    ${_source}/src/Math.cpp
    ${_source}/src/TransverseMercator.cpp
  )
  target_include_directories(geographiclib SYSTEM PUBLIC ${_config_dir} ${_source}/include)
  # GeographicLib's own sources are not held to our warning flags, and its literals are ASCII.
  target_compile_options(geographiclib PRIVATE -Wno-error -w -fexec-charset=UTF-8)
  target_link_libraries(kml_geographiclib INTERFACE geographiclib)
else()
  find_library(KML2MIF_GEOGRAPHICLIB_LIBRARY NAMES GeographicLib REQUIRED)
  find_path(KML2MIF_GEOGRAPHICLIB_INCLUDE NAMES GeographicLib/TransverseMercator.hpp REQUIRED)
  target_link_libraries(kml_geographiclib INTERFACE ${KML2MIF_GEOGRAPHICLIB_LIBRARY})
  target_include_directories(kml_geographiclib SYSTEM INTERFACE ${KML2MIF_GEOGRAPHICLIB_INCLUDE})
endif()
