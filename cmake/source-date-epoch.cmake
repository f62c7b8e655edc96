# The time that the release packages carry, the same wherever the same sources are built:
# SOURCE_DATE_EPOCH when it is set; else the time of the commit checked out (as Debian's tools
# take it); else, for sources without their git history (an unpacked source archive), the date
# of the newest entry of docs/changelog.Debian. Puts it into the environment as
# SOURCE_DATE_EPOCH, where CPack's archive writer and string(TIMESTAMP) read it.
# Included by cpack (cpack-project.cmake) and by the installation of the changelog.
# REQUIRES: KML2MIF_SOURCE_DIR is the top folder of the sources.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  return()
endif()

# Only the history of these sources counts, not that of a repository they were unpacked in.
execute_process(COMMAND git rev-parse --show-toplevel
                WORKING_DIRECTORY "${KML2MIF_SOURCE_DIR}"
                OUTPUT_VARIABLE _top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                RESULT_VARIABLE _failed)
set(_epoch)
file(REAL_PATH "${KML2MIF_SOURCE_DIR}" _sources)
if(NOT _failed AND _top)
  file(REAL_PATH "${_top}" _top)
  if(_top STREQUAL _sources)
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY "${KML2MIF_SOURCE_DIR}"
                    OUTPUT_VARIABLE _epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(_origin "the time of the commit checked out")
  endif()
endif()
if(NOT _epoch MATCHES "^[0-9]+$")
  file(STRINGS "${KML2MIF_SOURCE_DIR}/docs/changelog.Debian" _trailer REGEX "^ -- .*>  "
       LIMIT_COUNT 1)
  string(REGEX REPLACE "^ -- .*>  " "" _date "${_trailer}")
  execute_process(COMMAND date -u -d "${_date}" +%s OUTPUT_VARIABLE _epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(_origin "the date of the changelog's newest entry (no git history of these sources)")
endif()
if(NOT _epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No time for the packages: set SOURCE_DATE_EPOCH (seconds since 1970)")
endif()
message(STATUS "Package time ${_epoch}: ${_origin}")
set(ENV{SOURCE_DATE_EPOCH} "${_epoch}")
