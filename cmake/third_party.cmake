# expat and zlib for every build, as the targets kml::expat and kml::zlib.
#
# Natively they are the system's (Debian's libexpat1-dev and zlib1g-dev). The MinGW cross
# builds link zlib statically from libz-mingw-w64-dev, and build expat as a static library
# from Debian's source package, which scripts/install-deps.sh unpacks into third_party/ (ignored
# by git, and outside build/, so that removing the build trees keeps it).
set(KML2MIF_EXPAT_SOURCE_DIR "${PROJECT_SOURCE_DIR}/third_party/expat"
    CACHE PATH "Unpacked expat sources (the folder that holds lib/expat.h)")
# Build trees configured when the sources lay in build/third_party move to the new place (the
# debugging information names it, and a tree made afresh must give the same bytes).
if(KML2MIF_EXPAT_SOURCE_DIR STREQUAL "${PROJECT_SOURCE_DIR}/build/third_party/expat")
  set_property(CACHE KML2MIF_EXPAT_SOURCE_DIR
               PROPERTY VALUE "${PROJECT_SOURCE_DIR}/third_party/expat")
endif()

add_library(kml_expat INTERFACE)
add_library(kml_zlib INTERFACE)
add_library(kml::expat ALIAS kml_expat)
add_library(kml::zlib ALIAS kml_zlib)

if(CMAKE_CROSSCOMPILING AND WIN32)
  # The import library libz.dll.a would tie the programs to a zlib1.dll that Windows lacks.
  find_library(KML2MIF_ZLIB_STATIC NAMES libz.a REQUIRED)
  find_path(KML2MIF_ZLIB_INCLUDE NAMES zlib.h REQUIRED)
  target_link_libraries(kml_zlib INTERFACE ${KML2MIF_ZLIB_STATIC})
  target_include_directories(kml_zlib SYSTEM INTERFACE ${KML2MIF_ZLIB_INCLUDE})

  if(NOT EXISTS "${KML2MIF_EXPAT_SOURCE_DIR}/lib/expat.h")
    message(FATAL_ERROR "expat's sources are missing from ${KML2MIF_EXPAT_SOURCE_DIR}: "
                        "run scripts/install-deps.sh all")
  endif()
  # A static library over expat's three sources with a configuration of our own. (Its own
  # CMakeLists defines XML_DTD empty, which the arithmetic tests of Debian's patches reject.)
  set(_config_dir ${CMAKE_BINARY_DIR}/third_party/expat)
  file(WRITE ${_config_dir}/expat_config.h.new
       "#define BYTEORDER 1234\n#define XML_CONTEXT_BYTES 1024\n#define XML_DTD 1\n#define XML_NS 1\n")
  file(COPY_FILE ${_config_dir}/expat_config.h.new ${_config_dir}/expat_config.h ONLY_IF_DIFFERENT)
  add_library(expat STATIC EXCLUDE_FROM_ALL
    ${KML2MIF_EXPAT_SOURCE_DIR}/lib/xmlparse.c
    ${KML2MIF_EXPAT_SOURCE_DIR}/lib/xmlrole.c
    ${KML2MIF_EXPAT_SOURCE_DIR}/lib/xmltok.c
  )
  target_include_directories(expat PRIVATE ${_config_dir})
  target_include_directories(expat SYSTEM PUBLIC ${KML2MIF_EXPAT_SOURCE_DIR}/lib)
  target_compile_definitions(expat PUBLIC XML_STATIC)
  # expat's own sources are not held to our warning flags, and its literals are plain ASCII.
  target_compile_options(expat PRIVATE -Wno-error -w -fexec-charset=UTF-8)
  target_link_libraries(kml_expat INTERFACE expat)
else()
  find_package(EXPAT REQUIRED)
  find_package(ZLIB REQUIRED)
  target_link_libraries(kml_expat INTERFACE EXPAT::EXPAT)
  target_link_libraries(kml_zlib INTERFACE ZLIB::ZLIB)
endif()
