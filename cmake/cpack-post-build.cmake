# Run by cpack once it has made the zips, before it copies them out: each is rewritten so that
# only the names, modes and contents of its files remain (reproducible-zip.py).
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND "${CPACK_KML2MIF_PYTHON3}"
                          "${CPACK_KML2MIF_SOURCE_DIR}/cmake/reproducible-zip.py" "${package}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
