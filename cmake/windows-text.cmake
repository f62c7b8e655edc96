# Copies a text file for Windows users: CR LF line ends, which every Notepad shows as lines
# (the one of Windows 7 shows LF-only files as a single line), and with BOM=ON a UTF-8 byte
# order mark, by which Notepad reads the file as UTF-8 whatever the system's code page.
# Usage: cmake -DINPUT=in.txt -DOUTPUT=out.txt [-DBOM=ON] -P windows-text.cmake
foreach(variable INPUT OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "windows-text.cmake: ${variable} is not set")
  endif()
endforeach()
if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "windows-text.cmake: ${INPUT} does not exist")
endif()

file(READ "${INPUT}" text)
string(ASCII 239 187 191 bom)
string(FIND "${text}" "${bom}" bom_at)
if(bom_at EQUAL 0)
  string(SUBSTRING "${text}" 3 -1 text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
if(BOM)
  set(text "${bom}${text}")
endif()
file(WRITE "${OUTPUT}.part" "${text}")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
