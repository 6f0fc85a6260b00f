# Debian packages, made by `cpack -G DEB` in a build directory, split as Debian splits a library:
#   libquarvel<SOVERSION>  the shared library (named after its SONAME, so that two series can be installed
#                          side by side and a program keeps the series it was built against)
#   libquarvel-dev         headers, the link-time name or the static archive, the CMake and pkg-config files
#   quarvel-tools          quarvel-inspect and quarvel-dump, their man pages and shell completions
# Each carries usr/share/doc/<package>/copyright and changelog.Debian.gz. A static build makes the last two
# alone. The files only the packages install (gzipped pages, the Debian copyright and changelog, zsh's
# vendor-completions) are excluded from a plain installation: they come with a component installation only.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
find_program(QUARVEL_GZIP gzip)
if(NOT QUARVEL_GZIP)
  message(STATUS "No gzip: no Debian packages")
  return()
endif()

set(QUARVEL_DEB_MAINTAINER "Quarvel maintainers <maintainers@users.noreply.c-seed-6da8f4c5.example>"
    CACHE STRING "The Maintainer of the Debian packages (\"Name <address>\")")
set(QUARVEL_DEB_HOMEPAGE "" CACHE STRING "The Homepage of the Debian packages (none if empty)")
set(QUARVEL_DEB_REVISION 1 CACHE STRING "The Debian revision of the packages")

# The SONAME's version: 0.MINOR while the major is 0 (each 0.x series may break the ABI), else MAJOR.
if(NOT DEFINED QUARVEL_SOVERSION)
  if(PROJECT_VERSION_MAJOR EQUAL 0)
    set(QUARVEL_SOVERSION "0.${PROJECT_VERSION_MINOR}")
  else()
    set(QUARVEL_SOVERSION "${PROJECT_VERSION_MAJOR}")
  endif()
endif()
if(BUILD_SHARED_LIBS)
  get_target_property(quarvel_library_soversion quarvel SOVERSION)
  if(NOT quarvel_library_soversion STREQUAL QUARVEL_SOVERSION)
    message(WARNING "The Debian packages are named for libquarvel.so.${QUARVEL_SOVERSION}, but the library's "
                    "SONAME is libquarvel.so.${quarvel_library_soversion}")
  endif()
endif()
# Debian's rule: the library's name and the SONAME's version (libquarvel.so.0.2: libquarvel0.2; a hyphen would
# go between them were the name to end in a digit).
set(quarvel_runtime_package "libquarvel${QUARVEL_SOVERSION}")
set(QUARVEL_DEB_VERSION "${PROJECT_VERSION}-${QUARVEL_DEB_REVISION}")

if(BUILD_SHARED_LIBS)
  set(quarvel_deb_components runtime dev tools)
else()
  set(quarvel_deb_components dev tools)
endif()
set(quarvel_deb_package_runtime ${quarvel_runtime_package})
set(quarvel_deb_package_dev libquarvel-dev)
set(quarvel_deb_package_tools quarvel-tools)

# The changelog's date is the commit's, so that the packages of one commit are alike; without git, the
# configuration's (or SOURCE_DATE_EPOCH's).
set(QUARVEL_DEB_DATE "")
if(GIT_FOUND AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%cD
                  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                  OUTPUT_VARIABLE QUARVEL_DEB_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT QUARVEL_DEB_DATE)
  string(TIMESTAMP QUARVEL_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()

# Files gzipped as Debian wants them: best compression, no name or time in the header (gzip -9n).
set(quarvel_deb_dir ${PROJECT_BINARY_DIR}/debian)
set(quarvel_deb_outputs)
function(quarvel_deb_gzip input output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DGZIP=${QUARVEL_GZIP} -DINPUT=${input} -DOUTPUT=${output}
            -P ${PROJECT_SOURCE_DIR}/packaging/gzip.cmake
    DEPENDS ${input} ${PROJECT_SOURCE_DIR}/packaging/gzip.cmake ${ARGN}
    VERBATIM)
  set(quarvel_deb_outputs ${quarvel_deb_outputs} ${output} PARENT_SCOPE)
endfunction()

configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${quarvel_deb_dir}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in ${quarvel_deb_dir}/copyright @ONLY)
quarvel_deb_gzip(${quarvel_deb_dir}/changelog ${quarvel_deb_dir}/changelog.Debian.gz)
# lintian's overrides of each package: those of every package, then its own, each with its reason.
file(READ ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides quarvel_deb_overrides)
foreach(component IN LISTS quarvel_deb_components)
  set(package ${quarvel_deb_package_${component}})
  install(FILES ${quarvel_deb_dir}/copyright ${quarvel_deb_dir}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  set(overrides "${quarvel_deb_overrides}")
  set(own ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides.${component})
  if(EXISTS ${own})
    file(READ ${own} own_overrides)
    string(APPEND overrides "${own_overrides}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${own})
  endif()
  file(CONFIGURE OUTPUT ${quarvel_deb_dir}/lintian/${package} CONTENT "${overrides}" @ONLY)
  install(FILES ${quarvel_deb_dir}/lintian/${package} DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides)

get_property(quarvel_man_page_targets GLOBAL PROPERTY QUARVEL_MAN_PAGE_TARGETS)
foreach(target IN LISTS quarvel_man_page_targets)
  get_target_property(page ${target} QUARVEL_MAN_PAGE)
  get_filename_component(name ${page} NAME)
  quarvel_deb_gzip(${page} ${quarvel_deb_dir}/man/${name}.gz ${target})
  install(FILES ${quarvel_deb_dir}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tools EXCLUDE_FROM_ALL)
endforeach()
get_property(quarvel_zsh_completions GLOBAL PROPERTY QUARVEL_ZSH_COMPLETIONS)
install(FILES ${quarvel_zsh_completions} DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
        COMPONENT tools EXCLUDE_FROM_ALL)
add_custom_target(quarvel_deb_files ALL DEPENDS ${quarvel_deb_outputs})

if(NOT CMAKE_INSTALL_LIBDIR MATCHES "/")
  message(STATUS "Debian packages: the library goes to /usr/${CMAKE_INSTALL_LIBDIR}; configure with "
                 "-DCMAKE_INSTALL_PREFIX=/usr for Debian's multiarch directory")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUARVEL_DEB_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${quarvel_deb_components})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUARVEL_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE quarvel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUARVEL_DEB_MAINTAINER}")
if(QUARVEL_DEB_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUARVEL_DEB_HOMEPAGE}")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies on shared libraries from dpkg-shlibdeps; the library's own shlibs file asks for at least the
# version a program was built against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${quarvel_runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# dpkg's ldconfig trigger, which Debian prefers to a call in the maintainer scripts.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION [=[library of the Quarvel build-scheduling service
Quarvel is the library of a build-scheduling service: a server that runs
build jobs on named platforms, workers that run them and clients that steer
them. The library defines the service's data model (jobs, execution results,
the timetable and queues, the scheduler state, the protocol commands and the
job execution record), gives every type a text form, encodes and decodes them
in ASN.1 DER and moves length-prefixed messages over file descriptors.

This package contains the shared library.]=])

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquarvel-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
if(BUILD_SHARED_LIBS)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${quarvel_runtime_package} (= ${QUARVEL_DEB_VERSION})")
endif()
set(CPACK_DEBIAN_DEV_DESCRIPTION [=[library of the Quarvel build-scheduling service (development files)
Quarvel is the library of a build-scheduling service: a server that runs
build jobs on named platforms, workers that run them and clients that steer
them. The library defines the service's data model, its text forms, its ASN.1
DER encodings and framed messages over file descriptors.

This package contains the C++23 headers, the CMake package (find_package) and
the pkg-config file needed to build programs against the library.]=])

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quarvel-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION [=[inspect Quarvel job execution records and scheduler state
The Quarvel build-scheduling service keeps the outcome of every build job as a
job execution record, and its timetable and queues as a scheduler state, both
in ASN.1 DER.

quarvel-inspect prints a record's job, console transcript and script, or
exports its output files into a directory. quarvel-dump prints a scheduler
state, a job execution record or captured protocol commands as text or JSON,
lists the elements of any DER input, and writes a state again in the current
encoding.

This package contains both tools, their manual pages and their completions for
bash, zsh and fish.]=])

include(CPack)
