# The names the libraries give a program, read from the built files: the shared library's file name,
# SONAME and symbol version, and that every symbol either library defines for a program is in
# namespace quarvel. Run by CTest with
#   -DSTATIC_LIBRARY=FILE   an archive of the library's objects (a static build's libquarvel.a)
#   -DSHARED_LIBRARY=FILE   the shared library, when the build makes one (else its rows are skipped)
#   -DVERSION=X.Y.Z -DSOVERSION=SERIES
cmake_minimum_required(VERSION 3.25)
find_program(NM nm REQUIRED)
find_program(READELF readelf REQUIRED)

# Whether a mangled name is of namespace quarvel: a nested name (N, with qualifiers), a local entity of
# one (Z), or a special name of one (vtable, typeinfo, guard variable, thread-local wrapper).
set(in_quarvel "^_Z(T[VISTHW]|GV|GR|Z)?N[rVK]*[RO]?7quarvel")

function(output_of var)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${err}")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

# The symbols of `nm` output of the given types outside namespace quarvel, one per line.
function(outside_quarvel var nm_output types)
  set(outside "")
  string(REGEX MATCHALL "[^\n]+" lines "${nm_output}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-f]* ([A-Za-z]) ([^@ ]+)")
      set(type "${CMAKE_MATCH_1}")
      set(name "${CMAKE_MATCH_2}")
      # What a sanitizer's instrumentation adds for our own globals (__odr_asan.NAME, __asan_..., __ubsan_...)
      # is the compiler's, not the library's.
      if(type MATCHES "^[${types}]$" AND NOT name MATCHES "${in_quarvel}" AND NOT name MATCHES "^__(odr_asan|asan|ubsan|tsan|sancov)")
        string(APPEND outside "${name} ")
      endif()
    endif()
  endforeach()
  string(STRIP "${outside}" outside)
  set(${var} "${outside}" PARENT_SCOPE)
endfunction()

# What one row reads from its library.
function(read_value var library what)
  if(what STREQUAL "file name")
    get_filename_component(value ${library} NAME)
  elseif(what STREQUAL "SONAME")
    output_of(dynamic ${READELF} -d ${library})
    string(REGEX MATCH "\\(SONAME\\)[^\n]*\\[([^]\n]*)\\]" _ "${dynamic}")
    set(value "${CMAKE_MATCH_1}")
  elseif(what STREQUAL "version nodes")
    # The version definitions but the base one (the file's own name).
    output_of(versions ${READELF} -V ${library})
    string(REGEX MATCHALL "Flags: none[^\n]*Name: [^\n]+" nodes "${versions}")
    list(TRANSFORM nodes REPLACE ".*Name: " "")
    list(JOIN nodes " " value)
  elseif(what STREQUAL "exported symbols outside quarvel::")
    output_of(symbols ${NM} -D --defined-only ${library})
    outside_quarvel(value "${symbols}" "A-Z")
    # The version node is an absolute symbol of its own.
    string(REGEX REPLACE "(^| )QUARVEL_[0-9.]+( |$)" "\\1" value "${value}")
    string(STRIP "${value}" value)
  elseif(what STREQUAL "exported symbols of another version")
    output_of(symbols ${NM} -D --defined-only --with-symbol-versions ${library})
    string(REGEX MATCHALL "\n[0-9a-f]+ [A-Z] [^\n]+" exported "\n${symbols}")
    list(FILTER exported EXCLUDE REGEX "@@QUARVEL_${SOVERSION}$| A QUARVEL_${SOVERSION}$")
    list(TRANSFORM exported STRIP)
    list(JOIN exported " " value)
  elseif(what STREQUAL "strong symbols outside quarvel::")
    # Defined and not weak: what a program's own definition of the same name would collide with.
    output_of(symbols ${NM} --defined-only ${library})
    outside_quarvel(value "${symbols}" "TDBRGS")
  else()
    message(FATAL_ERROR "no such row: ${what}")
  endif()
  set(${var} "${value}" PARENT_SCOPE)
endfunction()

# Library | what is read | what it must be ("" for none).
set(rows
  "shared|file name|libquarvel.so.${VERSION}"
  "shared|SONAME|libquarvel.so.${SOVERSION}"
  "shared|version nodes|QUARVEL_${SOVERSION}"
  "shared|exported symbols outside quarvel::|"
  "shared|exported symbols of another version|"
  "static|strong symbols outside quarvel::|")

set(failures "")
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 kind)
  list(GET fields 1 what)
  list(LENGTH fields count)
  set(expected "")
  if(count GREATER 2)
    list(GET fields 2 expected)
  endif()
  if(kind STREQUAL "shared")
    set(library "${SHARED_LIBRARY}")
  else()
    set(library "${STATIC_LIBRARY}")
  endif()
  if(NOT library)
    message(STATUS "skipped (no ${kind} library in this build): ${what}")
    continue()
  endif()
  read_value(actual ${library} "${what}")
  if(actual STREQUAL expected)
    message(STATUS "ok: ${kind} ${what}: \"${actual}\"")
  else()
    string(APPEND failures "${kind} library ${library}, ${what}:\n  expected \"${expected}\"\n  found    \"${actual}\"\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
