# Run by cpack once it has made the packages, before it copies them out: each is rewritten so
# that only the names, modes and contents of its files remain (reproducible-package.py).
if(NOT CPACK_KML2MIF_PYTHON3)
  message(FATAL_ERROR "python3 makes the packages reproducible: run scripts/install-deps.sh all")
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND "${CPACK_KML2MIF_PYTHON3}"
                          "${CPACK_KML2MIF_SOURCE_DIR}/cmake/reproducible-package.py" "${package}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
