# Splits a program into a stripped copy that ships and its debugging information in a file of
# its own, which the copy names (GNU debuglink) so that a debugger finds it beside the program.
# Usage: cmake -DPROGRAM=in.exe -DSTRIPPED=out.exe -DDEBUG_FILE=out.debug -DOBJCOPY=... \
#              -DSTRIP=... [-DMAX_BYTES=n] -P strip-program.cmake
foreach(variable PROGRAM STRIPPED DEBUG_FILE OBJCOPY STRIP)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "strip-program.cmake: ${variable} is not set")
  endif()
endforeach()

# objcopy and strip put the current time into a Windows program's header unless
# SOURCE_DATE_EPOCH says otherwise; 0 is what the linker writes there (--no-insert-timestamp).
set(ENV{SOURCE_DATE_EPOCH} 0)

# The stripped copy gets its final name only once it has passed the size check, so that a
# failed build never leaves an up-to-date looking output behind.
set(unchecked "${STRIPPED}.unchecked")
execute_process(COMMAND "${OBJCOPY}" --only-keep-debug "${PROGRAM}" "${DEBUG_FILE}"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${STRIP}" --strip-all -o "${unchecked}" "${PROGRAM}"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${OBJCOPY}" "--add-gnu-debuglink=${DEBUG_FILE}" "${unchecked}"
                COMMAND_ERROR_IS_FATAL ANY)

file(SIZE "${unchecked}" bytes)
if(DEFINED MAX_BYTES AND bytes GREATER MAX_BYTES)
  file(REMOVE "${unchecked}")
  message(FATAL_ERROR "${STRIPPED}: ${bytes} bytes after stripping, more than the ${MAX_BYTES} "
                      "allowed")
endif()
file(RENAME "${unchecked}" "${STRIPPED}")
