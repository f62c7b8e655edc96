# Included by cpack before it makes each package: the package's time goes into the environment
# (source-date-epoch.cmake), from which CPack dates every archive entry.
set(KML2MIF_SOURCE_DIR "${CPACK_KML2MIF_SOURCE_DIR}")
include("${CPACK_KML2MIF_SOURCE_DIR}/cmake/source-date-epoch.cmake")
