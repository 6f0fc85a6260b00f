# Runs PROGRAM on INPUT and compares its standard output with the file EXPECTED, byte for byte.
execute_process(COMMAND ${PROGRAM} ${INPUT} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(READ ${EXPECTED} expected)
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "exit status ${status}\n--- expected\n${expected}--- got\n${out}--- standard error\n${err}")
endif()
