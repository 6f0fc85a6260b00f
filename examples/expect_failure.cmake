# Runs PROGRAM, with INPUT as its argument when given, and checks that it exits with STATUS and prints
# exactly ERROR on standard error and nothing on standard output. With CONTENT defined, INPUT is first
# written with that text.
if(DEFINED CONTENT)
  file(WRITE ${INPUT} "${CONTENT}")
endif()
if(DEFINED INPUT)
  execute_process(COMMAND ${PROGRAM} ${INPUT} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
else()
  execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
endif()
if(NOT status STREQUAL STATUS OR NOT err STREQUAL "${ERROR}\n" OR NOT out STREQUAL "")
  message(FATAL_ERROR "exit status ${status} (expected ${STATUS})\n--- expected on standard error\n${ERROR}\n"
                      "--- got\n${err}--- standard output\n${out}")
endif()
