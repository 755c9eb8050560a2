# Runs COMMAND (a ;-list: program and arguments) and writes its standard
# output to OUTPUT, replacing it only when the command succeeded. Run with
# cmake -P.
set(ENV{ASAN_OPTIONS} "detect_leaks=0") # a sanitizer build prints its documents too
execute_process(COMMAND ${COMMAND}
  OUTPUT_FILE "${OUTPUT}.tmp"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "${COMMAND} failed: ${status}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
