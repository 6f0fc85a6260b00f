# Installs the build tree that was just built into a temporary prefix, then builds a small consumer
# against the installed package with find_package(Quarvel) and runs it.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(consumer ${WORK_DIR}/consumer)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

set(config)
if(CONFIG)
  set(config --config ${CONFIG})
endif()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/consumer -B ${consumer} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${consumer} ${config})
run(${consumer}/consumer)
