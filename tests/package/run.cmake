# Installs the build tree that was just built into a temporary prefix, then builds a small consumer
# against the installed package with find_package(Quarvel), and the README's example program with
# pkg-config, and runs both.
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
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}"
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${consumer} ${config})
run(${consumer}/consumer)

# The README's example program, built with the compiler alone from what pkg-config says of the installed
# quarvel.pc.
find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
file(GLOB_RECURSE pc_files ${prefix}/*/quarvel.pc)
if(NOT pc_files)
  message(FATAL_ERROR "quarvel.pc is not installed below ${prefix}")
endif()
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir} ${PKG_CONFIG} --cflags --libs quarvel
                RESULT_VARIABLE rc OUTPUT_VARIABLE flags ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config --cflags --libs quarvel failed:\n${err}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
file(READ ${SOURCE_DIR}/README.md readme)
string(FIND "${readme}" "```cpp\n// hello-record.cpp\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "README.md holds no hello-record.cpp")
endif()
math(EXPR start "${start} + 7")
string(SUBSTRING "${readme}" ${start} -1 program)
string(FIND "${program}" "\n```" end)
string(SUBSTRING "${program}" 0 ${end} program)
file(WRITE ${WORK_DIR}/hello-record.cpp "${program}\n")
separate_arguments(extra_flags UNIX_COMMAND "${CXX_FLAGS}")
run(${CXX_COMPILER} -std=c++23 ${extra_flags} ${WORK_DIR}/hello-record.cpp ${flags} -o ${WORK_DIR}/hello-record)
execute_process(COMMAND ${WORK_DIR}/hello-record RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "\n135 bytes, name hello on debian-12-amd64: exited 0\n$")
  message(FATAL_ERROR "the README's program printed:\n${out}")
endif()
