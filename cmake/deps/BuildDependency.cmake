# Builds and installs one third-party dependency into its cache folder:
#   cmake -DLUMIVANE_DEP_JOB=<key folder>/job.cmake -P BuildDependency.cmake
# Dependencies.cmake writes the job file, holds the lock on the key folder and
# hands it over empty. Output goes to <key folder>/logs; the console only gets
# an error. The stamp file "complete" is written last, after the scratch
# folder is gone, so a folder without it is never used and is simply rebuilt.
#
# Everything here that can change the built result is part of the cache key,
# because Dependencies.cmake hashes this file.
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${LUMIVANE_DEP_JOB}")
  message(FATAL_ERROR "usage: cmake -DLUMIVANE_DEP_JOB=<job.cmake> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
include("${LUMIVANE_DEP_JOB}")
# The job defines: DEP_NAME, DEP_KEY_DIR, DEP_DSC or DEP_SOURCE_DIR,
# DEP_OWN_PROJECT (our CMake project that builds the unpacked source, or empty),
# DEP_TOOLCHAIN_FILE (may be empty), DEP_C_COMPILER, DEP_CXX_COMPILER,
# DEP_MAKE_PROGRAM, DEP_CMAKE_ARGS and DEP_OUTPUTS (paths under the prefix).

set(prefix "${DEP_KEY_DIR}/install")
set(scratch "${DEP_KEY_DIR}/scratch")
set(logs "${DEP_KEY_DIR}/logs")
file(MAKE_DIRECTORY "${logs}" "${scratch}")

function(fail step log)
  set(tail "")
  if(EXISTS "${log}")
    file(STRINGS "${log}" lines)
    list(LENGTH lines count)
    if(count GREATER 25)
      math(EXPR first "${count} - 25")
      list(SUBLIST lines ${first} 25 lines)
    endif()
    list(JOIN lines "\n  " tail)
    set(tail "\nLast lines of the log:\n  ${tail}")
  endif()
  set(text "${DEP_NAME}: ${step} failed")
  if(log)
    string(APPEND text "; full log: ${log}${tail}")
  endif()
  file(WRITE "${DEP_KEY_DIR}/error.txt" "${text}\n")
  message(FATAL_ERROR "${text}")
endfunction()

# Runs a command with its output in a log file. The environment variables that
# CMake and the compilers pick up silently are cleared, so that the shell a
# configure happens to run in cannot change a result that is cached by key.
function(run step log)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env
      --unset=CFLAGS --unset=CXXFLAGS --unset=CPPFLAGS --unset=LDFLAGS
      --unset=CC --unset=CXX --unset=RC --unset=CMAKE_TOOLCHAIN_FILE
      --unset=CMAKE_BUILD_TYPE --unset=CMAKE_GENERATOR --unset=CMAKE_PREFIX_PATH
      --unset=CMAKE_INSTALL_PREFIX --unset=MAKEFLAGS
      ${ARGN}
    OUTPUT_FILE "${log}"
    ERROR_FILE "${log}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    fail("${step}" "${log}")
  endif()
endfunction()

# Sources. dpkg-source applies Debian's patches and checks the tarballs against
# the checksums in the .dsc.
if(DEP_DSC)
  find_program(dpkg_source dpkg-source)
  if(NOT dpkg_source)
    fail("unpacking (dpkg-source not found; run ./scripts/setup)" "")
  endif()
  set(source "${scratch}/src")
  run("unpacking ${DEP_DSC}" "${logs}/unpack.log" "${dpkg_source}" -x "${DEP_DSC}" "${source}")
else()
  set(source "${DEP_SOURCE_DIR}")
endif()

if(DEP_OWN_PROJECT)
  set(project_dir "${DEP_OWN_PROJECT}")
else()
  set(project_dir "${source}")
endif()

set(configure_args
  -G Ninja
  "-DCMAKE_MAKE_PROGRAM=${DEP_MAKE_PROGRAM}"
  -S "${project_dir}"
  -B "${scratch}/build"
  "-DLUMIVANE_DEP_SOURCE_DIR=${source}"
  "-DCMAKE_C_COMPILER=${DEP_C_COMPILER}"
  "-DCMAKE_CXX_COMPILER=${DEP_CXX_COMPILER}"
  -DCMAKE_BUILD_TYPE=Release
  "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG"
  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
  # Third-party warnings are not ours to fix, so never let them fail the build.
  -DCMAKE_COMPILE_WARNING_AS_ERROR=OFF
  # The host preset links these into position-independent executables.
  -DCMAKE_POSITION_INDEPENDENT_CODE=ON
  "-DCMAKE_INSTALL_PREFIX=${prefix}"
  -DCMAKE_INSTALL_BINDIR=bin
  -DCMAKE_INSTALL_LIBDIR=lib
  -DCMAKE_INSTALL_INCLUDEDIR=include
  -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON
  -Wno-dev)
if(DEP_TOOLCHAIN_FILE)
  list(APPEND configure_args "-DCMAKE_TOOLCHAIN_FILE=${DEP_TOOLCHAIN_FILE}")
endif()

run("configuring" "${logs}/configure.log" "${CMAKE_COMMAND}" ${configure_args} ${DEP_CMAKE_ARGS})
run("building" "${logs}/build.log" "${CMAKE_COMMAND}" --build "${scratch}/build")
run("installing" "${logs}/install.log" "${CMAKE_COMMAND}" --install "${scratch}/build")

foreach(output IN LISTS DEP_OUTPUTS)
  if(NOT EXISTS "${prefix}/${output}")
    fail("installing (${output} is missing from ${prefix})" "${logs}/install.log")
  endif()
endforeach()

file(REMOVE_RECURSE "${scratch}")
string(TIMESTAMP finished "%Y-%m-%dT%H:%M:%SZ" UTC)
file(WRITE "${DEP_KEY_DIR}/complete" "${finished}\n")
