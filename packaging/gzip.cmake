# cmake -DGZIP=gzip -DINPUT=file -DOUTPUT=file.gz -P gzip.cmake: INPUT compressed as Debian wants its
# documentation (gzip -9n: best compression, no file name or time in the header, so the same bytes each build).
get_filename_component(directory ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${directory})
execute_process(COMMAND ${GZIP} -9n -c ${INPUT} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "${GZIP} -9n ${INPUT} failed: ${status}")
endif()
