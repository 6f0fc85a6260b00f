# Configures, builds and installs Quarvel into a temporary prefix, then builds a small consumer
# against the installed package with find_package(Quarvel) and runs it.
file(REMOVE_RECURSE ${WORK_DIR})
set(build ${WORK_DIR}/build)
set(prefix ${WORK_DIR}/prefix)
set(consumer ${WORK_DIR}/consumer)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -DQUARVEL_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${prefix})
run(${CMAKE_COMMAND} --build ${build} --parallel 2)
run(${CMAKE_COMMAND} --install ${build})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/consumer -B ${consumer} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${consumer})
run(${consumer}/consumer)
