# Writes the Debian changelog compressed as Debian wants it (gzip -9, no name or time in the
# gzip header), its newest entry dated with the package's time (source-date-epoch.cmake).
# Usage: set KML2MIF_SOURCE_DIR, CHANGELOG (the text) and OUTPUT (the .gz), then include this
# file (at install time, so that the date is that of the sources being packaged).
foreach(variable KML2MIF_SOURCE_DIR CHANGELOG OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "debian-changelog.cmake: ${variable} is not set")
  endif()
endforeach()
include("${CMAKE_CURRENT_LIST_DIR}/source-date-epoch.cmake")

file(READ "${CHANGELOG}" text)
string(REGEX MATCH "\n -- [^\n]*>  [^\n]*" trailer "${text}")
if(NOT trailer)
  message(FATAL_ERROR "${CHANGELOG}: no line ' -- name <address>  date'")
endif()
string(FIND "${text}" "${trailer}" at)
string(LENGTH "${trailer}" length)
math(EXPR after "${at} + ${length}")
string(SUBSTRING "${text}" 0 ${at} before_trailer)
string(SUBSTRING "${text}" ${after} -1 after_trailer)
# string(TIMESTAMP) takes SOURCE_DATE_EPOCH from the environment; the names are English.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(REGEX REPLACE ">  .*" ">  ${date}" trailer "${trailer}")
file(WRITE "${OUTPUT}.text" "${before_trailer}${trailer}${after_trailer}")
execute_process(COMMAND gzip -9 -n -c "${OUTPUT}.text" OUTPUT_FILE "${OUTPUT}"
                COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE "${OUTPUT}.text")
