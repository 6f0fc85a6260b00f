# Installs the build tree that was just built into a temporary prefix, then builds a small consumer
# against the installed package with find_package(Quarvel) and with find_package(quarvel), and the README's
# example program with pkg-config, and runs them; then checks that what is installed is the API alone,
# versioned, with its documentation.
cmake_minimum_required(VERSION 3.25)
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
# The package by both its names: Quarvel (Quarvel::quarvel) and quarvel (quarvel::quarvel).
foreach(lower_case OFF ON)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/consumer -B ${consumer}-${lower_case} -G ${GENERATOR}
      -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}"
      -DCMAKE_PREFIX_PATH=${prefix} -DQUARVEL_LOWER_CASE=${lower_case})
  run(${CMAKE_COMMAND} --build ${consumer}-${lower_case} ${config})
  run(${consumer}-${lower_case}/consumer)
endforeach()

# The package is of the 0.2 series: a request for another series, older or newer, is refused by either name.
foreach(lower_case OFF ON)
  foreach(request 0.0.1 0.1 0.3 1.0)
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/consumer -B ${WORK_DIR}/request-${request}-${lower_case}
                            -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
                            -DQUARVEL_REQUEST=${request} -DQUARVEL_LOWER_CASE=${lower_case}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(rc EQUAL 0)
      message(FATAL_ERROR "find_package(Quarvel ${request}) accepted the installed package (lower case: ${lower_case})")
    endif()
  endforeach()
endforeach()

# The guide, the examples it points to and, when the docs target has written it, the reference.
foreach(document share/doc/quarvel/guide.md share/doc/quarvel/examples/record_summary.cpp)
  if(NOT EXISTS ${prefix}/${document})
    message(FATAL_ERROR "not installed: ${document}")
  endif()
endforeach()
if(EXISTS ${BUILD_DIR}/docs/html/index.html AND NOT EXISTS ${prefix}/share/doc/quarvel/reference/index.html)
  message(FATAL_ERROR "the reference is built but not installed under share/doc/quarvel/reference")
endif()

# What is installed is the API alone: none of the machinery's headers, and every installed header compiles
# on its own.
file(GLOB_RECURSE installed RELATIVE ${prefix}/include ${prefix}/include/*)
file(GLOB_RECURSE internal RELATIVE ${SOURCE_DIR}/lib/der/internal ${SOURCE_DIR}/lib/der/internal/*)
file(GLOB_RECURSE internal_quarvel RELATIVE ${SOURCE_DIR}/lib/quarvel/internal ${SOURCE_DIR}/lib/quarvel/internal/*)
foreach(header IN LISTS installed)
  if(header IN_LIST internal OR header IN_LIST internal_quarvel OR NOT header MATCHES "^quarvel/[a-z_]+\\.hpp$")
    message(FATAL_ERROR "installed, but not part of the API: include/${header}")
  endif()
  file(WRITE ${WORK_DIR}/alone.cpp "#include <${header}>\n")
  run(${CXX_COMPILER} -std=c++23 -fsyntax-only -I${prefix}/include ${WORK_DIR}/alone.cpp)
endforeach()

# A compiler not set to C++23 is told so, in one error, not in a page of them.
file(WRITE ${WORK_DIR}/old_standard.cpp "#include <quarvel/model.hpp>\nint main() { return 0; }\n")
execute_process(COMMAND ${CXX_COMPILER} -std=c++20 -fsyntax-only -I${prefix}/include ${WORK_DIR}/old_standard.cpp
                RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
string(REGEX MATCHALL "error:" errors "${err}")
list(LENGTH errors error_count)
if(rc EQUAL 0 OR NOT err MATCHES "Quarvel needs C\\+\\+23" OR error_count GREATER 2)
  message(FATAL_ERROR "a C++20 compile of <quarvel/model.hpp> gave status ${rc} and:\n${err}")
endif()

# A shared library carries its version in its file name and its series in its SONAME (libquarvel.so.0.2
# while the major is 0), and exports the API alone.
file(GLOB shared_libraries ${prefix}/*/libquarvel.so.*.*.*)
if(shared_libraries)
  list(GET shared_libraries 0 library)
  if(NOT library MATCHES "libquarvel\\.so\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "the shared library's file name lacks the full version: ${library}")
  endif()
  find_program(READELF readelf REQUIRED)
  find_program(NM nm REQUIRED)
  execute_process(COMMAND ${READELF} -d ${library} OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "SONAME\\)[^\n]*\\[libquarvel\\.so\\.(0\\.[0-9]+|[1-9][0-9]*)\\]")
    message(FATAL_ERROR "the shared library's SONAME lacks the series (0.MINOR, or MAJOR from 1.0):\n${dynamic}")
  endif()
  execute_process(COMMAND ${NM} -D -C --defined-only ${library} OUTPUT_VARIABLE exported)
  string(REGEX MATCHALL "[^\n]*(detail|_syntax|posix)[^\n]*" machinery "${exported}")
  string(REGEX MATCHALL "\n[0-9a-f]+ [A-Za-z] [^\n]*" symbols "\n${exported}")
  foreach(symbol IN LISTS symbols)
    if(NOT symbol MATCHES " quarvel::| QUARVEL_(0\\.[0-9]+|[1-9][0-9]*)$")
      list(APPEND machinery "${symbol}")
    endif()
  endforeach()
  if(machinery)
    message(FATAL_ERROR "the shared library exports more than the API:\n${machinery}")
  endif()
endif()

# The README's example program, built with the compiler alone from what pkg-config says of the installed
# quarvel.pc. The .pc leaves the standard to the consumer (the headers' guard says what they need), so the
# program is built with GNU's dialect of C++23, as a consumer may choose.
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
if(flags MATCHES "(^| )-std=")
  message(FATAL_ERROR "quarvel.pc forces a standard on its consumers: ${flags}")
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
run(${CXX_COMPILER} -std=gnu++23 ${extra_flags} ${WORK_DIR}/hello-record.cpp ${flags} -o ${WORK_DIR}/hello-record)
# pkg-config gives no run path: a shared library is found through the loader's path, as a user would set it.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${pc_dir}/.. ${WORK_DIR}/hello-record
                RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "\n135 bytes, name hello on debian-12-amd64: exited 0\n$")
  message(FATAL_ERROR "the README's program printed:\n${out}")
endif()
