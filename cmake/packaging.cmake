# What `cmake --install` puts where, and the packages CPack makes of it.
#
# Windows: a zip of the two programs, stripped, with the Chinese user guide and the licences
# (ours, and those of expat and zlib, which are linked into the programs); the debugging
# information goes into a second zip. Elsewhere: kml2mif and its manual page, packaged for
# Debian. The licence texts of the libraries are taken from the Debian packages on the build
# machine, never kept in this repository.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME kml2mif)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kml2mif")
set(CPACK_PACKAGE_CONTACT "kml2mif maintainers <someone@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://www.example.com/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert KML and KMZ files to MapInfo Interchange Format")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/packages")
set(CPACK_COMPONENTS_ALL Runtime)
# The same sources give the same packages, byte for byte: every time in them is the package's
# time (cmake/source-date-epoch.cmake), which cpack puts into its environment.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/cpack-project.cmake")
set(CPACK_KML2MIF_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
# CPack's zip writer records the owner and local times, and the .deb's members take their modes
# from the umask: the packages are rewritten without them once made.
find_program(KML2MIF_PYTHON3 python3)
set(CPACK_KML2MIF_PYTHON3 "${KML2MIF_PYTHON3}")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/cpack-post-build.cmake")
# Folders as Debian and Windows users expect them, whatever the umask of the build machine.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # The shipping copies live in release/ of the build tree; the programs the build links stay
  # as they are, with their symbols, for the tests and for debugging in place.
  set(release_dir "${CMAKE_BINARY_DIR}/release")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The desktop program is downloaded and mailed around as one file; keep it small.
    set(KML2MIF_DESKTOP_MAX_BYTES 512000 CACHE STRING "Largest stripped KmlConverter.exe")
  endif()

  set(release_files)
  foreach(program KmlConverter kml2mif)
    set(limit)
    if(program STREQUAL KmlConverter AND KML2MIF_DESKTOP_MAX_BYTES)
      set(limit -DMAX_BYTES=${KML2MIF_DESKTOP_MAX_BYTES})
    endif()
    add_custom_command(
      OUTPUT ${release_dir}/${program}.exe ${release_dir}/${program}.debug
      COMMAND ${CMAKE_COMMAND} -E make_directory ${release_dir}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}>
              -DSTRIPPED=${release_dir}/${program}.exe -DDEBUG_FILE=${release_dir}/${program}.debug
              -DOBJCOPY=${CMAKE_OBJCOPY} -DSTRIP=${CMAKE_STRIP} ${limit}
              -P ${PROJECT_SOURCE_DIR}/cmake/strip-program.cmake
      DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/strip-program.cmake
      COMMENT "Stripping ${program}.exe, its debugging information into ${program}.debug"
      VERBATIM)
    list(APPEND release_files ${release_dir}/${program}.exe ${release_dir}/${program}.debug)
  endforeach()

  # The licence texts as the Debian packages of the build machine hold them. expat is built
  # from its source package, whose COPYING comes first.
  set(expat_candidates /usr/share/doc/libexpat1/copyright /usr/share/doc/libexpat1-dev/copyright)
  if(KML2MIF_EXPAT_SOURCE_DIR)
    list(PREPEND expat_candidates "${KML2MIF_EXPAT_SOURCE_DIR}/COPYING")
  endif()
  set(zlib_candidates /usr/share/doc/libz-mingw-w64-dev/copyright
                      /usr/share/doc/libz-mingw-w64/copyright /usr/share/doc/zlib1g/copyright)
  foreach(library expat zlib)
    foreach(candidate IN LISTS ${library}_candidates)
      if(EXISTS "${candidate}")
        set(${library}_license "${candidate}")
        break()
      endif()
    endforeach()
    if(NOT ${library}_license)
      message(FATAL_ERROR "No licence text of ${library} in ${${library}_candidates}: "
                          "run scripts/install-deps.sh all")
    endif()
  endforeach()

  set(windows_texts
      "${PROJECT_SOURCE_DIR}/docs/user-guide.zh_CN.txt|${release_dir}/使用说明.txt|ON"
      "${PROJECT_SOURCE_DIR}/LICENSE|${release_dir}/LICENSE.txt|OFF"
      "${expat_license}|${release_dir}/licenses/expat.txt|OFF"
      "${zlib_license}|${release_dir}/licenses/zlib.txt|OFF")
  foreach(entry IN LISTS windows_texts)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 input)
    list(GET entry 1 output)
    list(GET entry 2 bom)
    get_filename_component(output_dir "${output}" DIRECTORY)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DBOM=${bom}
              -P ${PROJECT_SOURCE_DIR}/cmake/windows-text.cmake
      DEPENDS ${input} ${PROJECT_SOURCE_DIR}/cmake/windows-text.cmake
      VERBATIM)
    list(APPEND release_files ${output})
  endforeach()
  add_custom_target(release_files ALL DEPENDS ${release_files})

  install(PROGRAMS ${release_dir}/KmlConverter.exe ${release_dir}/kml2mif.exe
          DESTINATION . COMPONENT Runtime)
  install(FILES ${release_dir}/使用说明.txt ${release_dir}/LICENSE.txt
          DESTINATION . COMPONENT Runtime)
  install(FILES ${release_dir}/licenses/expat.txt ${release_dir}/licenses/zlib.txt
          DESTINATION licenses COMPONENT Runtime)
  install(FILES ${release_dir}/KmlConverter.debug ${release_dir}/kml2mif.debug
          DESTINATION . COMPONENT Debug)

  list(APPEND CPACK_COMPONENTS_ALL Debug)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(package_base ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win32)
  else()
    set(package_base ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_ARCHIVE_RUNTIME_FILE_NAME ${package_base})
  set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${package_base}-debug)
else()
  # man reads compressed pages, and Debian wants them and the changelog compressed
  # reproducibly (-n: no name or time in the header).
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/kml2mif.1.gz
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/docs/kml2mif.1 > ${CMAKE_BINARY_DIR}/kml2mif.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/kml2mif.1
    VERBATIM)
  add_custom_target(compressed_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/kml2mif.1.gz)

  install(TARGETS kml2mif RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  install(FILES ${CMAKE_BINARY_DIR}/kml2mif.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT Runtime)
  # The changelog's newest entry carries the package's time, which is that of the sources at the
  # moment of installing or packaging (a commit after the build changes it).
  install(CODE "set(KML2MIF_SOURCE_DIR [[${PROJECT_SOURCE_DIR}]])
set(CHANGELOG [[${PROJECT_SOURCE_DIR}/docs/changelog.Debian]])
set(OUTPUT [[${CMAKE_BINARY_DIR}/changelog.Debian.gz]])
include([[${PROJECT_SOURCE_DIR}/cmake/debian-changelog.cmake]])" COMPONENT Runtime)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT Runtime)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright COMPONENT Runtime)

  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "kml2mif turns KML and KMZ files, as drawn in map viewers, into MapInfo
Interchange Format pairs (.mif and .mid) for MapInfo Professional, QGIS and
other GIS programs. Every placemark is converted with its geometry (points,
lines, polygons and multi-geometries), its name, description, folder,
ExtendedData attributes and style, in any input encoding; large files are
read in bounded memory.

Outputs are replaced as a pair or not at all, the input is never modified,
and every file error is reported with the file's name.")
endif()

include(CPack)
