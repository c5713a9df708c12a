# Third-party libraries as imported targets:
#   Lumivane::curl      libcurl (Windows only)
#   Lumivane::jsoncpp   jsoncpp
#   Lumivane::lzma7z    the LZMA SDK's 7z reader
#   Lumivane::stb       stb headers (stb_image.h)
#   GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main
# and the cache variable LUMIVANE_CURL_TOOL: curl.exe built from the same
# sources and options as Lumivane::curl on win64, empty elsewhere.
#
# For Windows the libraries are built here, while configuring, from the Debian
# source packages that scripts/setup fetched, and cached outside the clone in
#   $LUMIVANE_DEPS_DIR/build/<name>-<Debian version>-<target>-<hash>/
# The hash covers the compilers (path and --version), the toolchain files, the
# .dsc of the source package, the CMake version and the recipe in cmake/deps/
# with its option list. Other build trees and other clones on this machine thus
# reuse a result, and a change to any input builds into a new folder instead of
# reusing a stale one. Folders of outdated keys are just no longer looked at;
# deleting $LUMIVANE_DEPS_DIR/build is always safe.
#
# On the host, Debian's own jsoncpp and GoogleTest packages are used, and only
# the 7z reader is built (it has no Debian package); there is no curl.
include_guard(GLOBAL)

set(_lumivane_deps_recipes "${CMAKE_CURRENT_LIST_DIR}/deps")

# The recipes build C and C++ libraries with the project's own compilers, so
# both must be known even if the project itself enabled only one of them.
foreach(_lumivane_lang C CXX)
  if(NOT CMAKE_${_lumivane_lang}_COMPILER_LOADED)
    enable_language(${_lumivane_lang})
  endif()
endforeach()
unset(_lumivane_lang)

# Same rule as scripts/setup, which fetched the sources into <dir>/src.
function(_lumivane_deps_locate_cache)
  if(NOT "$ENV{LUMIVANE_DEPS_DIR}" STREQUAL "")
    set(dir "$ENV{LUMIVANE_DEPS_DIR}")
  elseif(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(dir "$ENV{XDG_CACHE_HOME}/lumivane-deps")
  else()
    set(dir "$ENV{HOME}/.cache/lumivane-deps")
  endif()
  if(NOT IS_ABSOLUTE "${dir}")
    message(FATAL_ERROR "deps: the dependency cache folder must be an absolute path, not '${dir}' "
                        "(from LUMIVANE_DEPS_DIR, XDG_CACHE_HOME or HOME)")
  endif()
  set(_lumivane_deps_dir "${dir}" PARENT_SCOPE)
endfunction()

# Everything about the compilers that can change what a dependency compiles to.
function(_lumivane_deps_describe_toolchain)
  set(text "")
  foreach(lang C CXX)
    set(compiler "${CMAKE_${lang}_COMPILER}")
    execute_process(COMMAND "${compiler}" --version
                    OUTPUT_VARIABLE version ERROR_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "deps: '${compiler} --version' failed")
    endif()
    string(APPEND text "${lang} compiler: ${compiler}\n${version}")
  endforeach()
  execute_process(COMMAND "${CMAKE_C_COMPILER}" -dumpmachine
                  OUTPUT_VARIABLE triple OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(triple STREQUAL "")
    message(FATAL_ERROR "deps: '${CMAKE_C_COMPILER} -dumpmachine' printed nothing")
  endif()
  string(APPEND text "target: ${triple} ${CMAKE_SYSTEM_NAME} ${CMAKE_SYSTEM_PROCESSOR}\n")

  set(toolchain "")
  if(CMAKE_TOOLCHAIN_FILE)
    set(toolchain "${CMAKE_TOOLCHAIN_FILE}")
    if(NOT IS_ABSOLUTE "${toolchain}")
      # The order in which CMake itself resolves a relative toolchain path.
      if(EXISTS "${CMAKE_BINARY_DIR}/${toolchain}")
        set(toolchain "${CMAKE_BINARY_DIR}/${toolchain}")
      else()
        set(toolchain "${CMAKE_SOURCE_DIR}/${toolchain}")
      endif()
    endif()
    # Toolchain files include their neighbours, so all of them count, by content
    # only: a clone in another folder must produce the same key.
    get_filename_component(toolchain_dir "${toolchain}" DIRECTORY)
    get_filename_component(toolchain_name "${toolchain}" NAME)
    string(APPEND text "toolchain file: ${toolchain_name}\n")
    file(GLOB toolchain_files "${toolchain_dir}/*.cmake")
    list(SORT toolchain_files)
    foreach(file IN LISTS toolchain_files)
      file(SHA256 "${file}" hash)
      get_filename_component(name "${file}" NAME)
      string(APPEND text "toolchain ${name} ${hash}\n")
    endforeach()
  endif()
  string(APPEND text "cmake: ${CMAKE_VERSION}\n")

  set(_lumivane_deps_triple "${triple}" PARENT_SCOPE)
  set(_lumivane_deps_toolchain "${toolchain}" PARENT_SCOPE)
  set(_lumivane_deps_toolchain_text "${text}" PARENT_SCOPE)
endfunction()

function(_lumivane_deps_find_ninja)
  if(CMAKE_GENERATOR MATCHES "^Ninja" AND CMAKE_MAKE_PROGRAM)
    set(ninja "${CMAKE_MAKE_PROGRAM}")
  else()
    find_program(LUMIVANE_NINJA NAMES ninja ninja-build)
    mark_as_advanced(LUMIVANE_NINJA)
    if(NOT LUMIVANE_NINJA)
      message(FATAL_ERROR "deps: ninja not found; run ./scripts/setup")
    endif()
    set(ninja "${LUMIVANE_NINJA}")
  endif()
  set(_lumivane_deps_ninja "${ninja}" PARENT_SCOPE)
endfunction()

# True if a key folder holds a finished build with every expected file.
function(_lumivane_deps_is_complete key_dir outputs result)
  set(complete FALSE)
  if(EXISTS "${key_dir}/complete")
    set(complete TRUE)
    foreach(output IN LISTS outputs)
      if(NOT EXISTS "${key_dir}/install/${output}")
        set(complete FALSE)
      endif()
    endforeach()
  endif()
  set(${result} ${complete} PARENT_SCOPE)
endfunction()

# Builds the dependency described by cmake/deps/<name>.cmake unless its key
# folder already holds it, and sets <prefix_var> to its install prefix.
function(_lumivane_dependency name prefix_var)
  # The recipe sets these.
  set(dep_package "")         # Debian source package whose .dsc is in <cache>/src
  set(dep_source_dir "")      # or: a source tree installed by a Debian package ...
  set(dep_source_package "")  # ... and the name of that package, for its version
  set(dep_version_regex "")   # upstream versions the recipe was written for
  set(dep_project "")         # our own CMake project under cmake/deps/, if any
  set(dep_cmake_args "")
  set(dep_outputs "")         # files the install must produce, under the prefix
  set(recipe "${_lumivane_deps_recipes}/${name}.cmake")
  include("${recipe}")

  set(src "${_lumivane_deps_dir}/src")
  set(dsc "")
  if(dep_package)
    file(GLOB dscs "${src}/${dep_package}_*.dsc")
    if(NOT dscs)
      message(FATAL_ERROR "deps: the ${dep_package} source package is missing from ${src}.\n"
                          "Run ./scripts/setup to fetch it.")
    endif()
    list(SORT dscs)
    list(GET dscs 0 dsc)
    file(STRINGS "${dsc}" version REGEX "^Version: " LIMIT_COUNT 1)
    string(REGEX REPLACE "^Version: *" "" version "${version}")
    file(SHA256 "${dsc}" dsc_hash)
    get_filename_component(dsc_name "${dsc}" NAME)
    set(source_text "source package: ${dsc_name} ${dsc_hash}")
    set(origin "${dsc}")
  else()
    if(NOT EXISTS "${dep_source_dir}/CMakeLists.txt")
      message(FATAL_ERROR "deps: ${dep_source_dir} is missing; run ./scripts/setup")
    endif()
    execute_process(COMMAND dpkg-query -W "-f=\${Version}" "${dep_source_package}"
                    OUTPUT_VARIABLE version ERROR_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR version STREQUAL "")
      message(FATAL_ERROR "deps: the Debian package ${dep_source_package} is not installed; "
                          "run ./scripts/setup")
    endif()
    set(source_text "installed package: ${dep_source_package} ${version} in ${dep_source_dir}")
    set(origin "the installed package ${dep_source_package}")
  endif()

  # Upstream version: no epoch, no Debian revision, and for "<old>+really<new>"
  # the real one.
  string(REGEX REPLACE "^[0-9]+:(.*)$" "\\1" upstream "${version}")
  string(REGEX REPLACE "-[^-]*$" "" upstream "${upstream}")
  string(REGEX REPLACE "^.*really" "" upstream "${upstream}")
  string(REGEX MATCH "^[0-9]+(\\.[0-9]+)*" upstream "${upstream}")
  if(NOT upstream MATCHES "${dep_version_regex}")
    message(FATAL_ERROR "deps: cmake/deps/${name}.cmake is written for versions matching "
                        "'${dep_version_regex}', but ${origin} is version ${version}.\n"
                        "Clear ${src} and run ./scripts/setup again, or update the recipe.")
  endif()

  set(recipe_files "${_lumivane_deps_recipes}/BuildDependency.cmake" "${recipe}")
  set(own_project "")
  if(dep_project)
    set(own_project "${_lumivane_deps_recipes}/${dep_project}")
    file(GLOB_RECURSE own_files LIST_DIRECTORIES false "${own_project}/*")
    list(SORT own_files)
    list(APPEND recipe_files ${own_files})
  endif()
  set(recipe_text "")
  foreach(file IN LISTS recipe_files)
    file(SHA256 "${file}" hash)
    file(RELATIVE_PATH relative "${_lumivane_deps_recipes}" "${file}")
    string(APPEND recipe_text "recipe ${relative} ${hash}\n")
  endforeach()
  list(JOIN dep_cmake_args "\n" args_text)

  string(CONCAT key_text
    "lumivane dependency cache, layout 1\n"
    "dependency: ${name} ${version}\n${source_text}\n"
    "${_lumivane_deps_toolchain_text}${recipe_text}"
    "arguments:\n${args_text}\noutputs: ${dep_outputs}\n")
  string(SHA256 key_hash "${key_text}")
  string(SUBSTRING "${key_hash}" 0 16 key_hash)
  string(REGEX REPLACE "[^A-Za-z0-9.+_-]" "_" safe_version "${version}")
  set(key_dir "${_lumivane_deps_dir}/build/${name}-${safe_version}-${_lumivane_deps_triple}-${key_hash}")
  set(label "deps: ${name} ${upstream} for ${_lumivane_deps_triple}")
  set(${prefix_var} "${key_dir}/install" PARENT_SCOPE)

  _lumivane_deps_is_complete("${key_dir}" "${dep_outputs}" complete)
  if(complete)
    message(STATUS "${label}: cached")
    return()
  endif()

  # One builder per key at a time: parallel configures of the same toolchain,
  # in this clone or another, wait here and then find the result.
  file(MAKE_DIRECTORY "${_lumivane_deps_dir}/build")
  set(lock "${key_dir}.lock")
  file(LOCK "${lock}" GUARD FUNCTION TIMEOUT 0 RESULT_VARIABLE locked)
  if(NOT locked EQUAL 0)
    message(STATUS "${label}: waiting for another configure that is building it")
    file(LOCK "${lock}" GUARD FUNCTION RESULT_VARIABLE locked)
    if(NOT locked EQUAL 0)
      message(FATAL_ERROR "deps: cannot lock ${lock}: ${locked}")
    endif()
  endif()
  _lumivane_deps_is_complete("${key_dir}" "${dep_outputs}" complete)
  if(complete)
    message(STATUS "${label}: cached (built by another configure)")
    return()
  endif()

  # Whatever is there is the remains of an interrupted build.
  file(REMOVE_RECURSE "${key_dir}")
  file(MAKE_DIRECTORY "${key_dir}")
  file(WRITE "${key_dir}/key.txt" "${key_text}")

  set(DEP_NAME "${name}")
  set(DEP_KEY_DIR "${key_dir}")
  set(DEP_DSC "${dsc}")
  set(DEP_SOURCE_DIR "${dep_source_dir}")
  set(DEP_OWN_PROJECT "${own_project}")
  set(DEP_TOOLCHAIN_FILE "${_lumivane_deps_toolchain}")
  set(DEP_C_COMPILER "${CMAKE_C_COMPILER}")
  set(DEP_CXX_COMPILER "${CMAKE_CXX_COMPILER}")
  set(DEP_MAKE_PROGRAM "${_lumivane_deps_ninja}")
  set(DEP_CMAKE_ARGS "${dep_cmake_args}")
  set(DEP_OUTPUTS "${dep_outputs}")
  set(job "")
  foreach(var DEP_NAME DEP_KEY_DIR DEP_DSC DEP_SOURCE_DIR DEP_OWN_PROJECT DEP_TOOLCHAIN_FILE
              DEP_C_COMPILER DEP_CXX_COMPILER DEP_MAKE_PROGRAM DEP_CMAKE_ARGS DEP_OUTPUTS)
    string(APPEND job "set(${var} [==[${${var}}]==])\n")
  endforeach()
  file(WRITE "${key_dir}/job.cmake" "${job}")

  message(STATUS "${label}: building (logs in ${key_dir}/logs)")
  string(TIMESTAMP started "%s")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" "-DLUMIVANE_DEP_JOB=${key_dir}/job.cmake"
            -P "${_lumivane_deps_recipes}/BuildDependency.cmake"
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE rc)
  string(TIMESTAMP finished "%s")
  math(EXPR seconds "${finished} - ${started}")
  _lumivane_deps_is_complete("${key_dir}" "${dep_outputs}" complete)
  if(NOT rc EQUAL 0 OR NOT complete)
    if(EXISTS "${key_dir}/error.txt")
      file(READ "${key_dir}/error.txt" output)
    endif()
    message(FATAL_ERROR "${label}: build failed after ${seconds} s.\n${output}")
  endif()
  file(WRITE "${key_dir}/build-seconds.txt" "${seconds}\n")
  message(STATUS "${label}: built in ${seconds} s")
endfunction()

function(_lumivane_deps_import_static target location languages)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION "${location}"
    IMPORTED_LINK_INTERFACE_LANGUAGES "${languages}")
  set_property(TARGET ${target} APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${ARGN})
endfunction()

# libcurl's own export lists the Windows libraries it links against; each one is
# linked through its syslib:: target so that SystemLibraries.cmake decides how.
function(_lumivane_deps_curl_system_libraries prefix result)
  set(exported "${prefix}/lib/cmake/CURL/CURLTargets.cmake")
  file(READ "${exported}" text)
  string(REGEX MATCH "INTERFACE_LINK_LIBRARIES \"[^\"]*\"" link "${text}")
  string(REGEX REPLACE "^INTERFACE_LINK_LIBRARIES \"(.*)\"$" "\\1" link "${link}")
  set(libraries "")
  foreach(item IN LISTS link)
    # The export file escapes the generator expression as \$<LINK_ONLY:...>.
    string(REGEX REPLACE "^\\\\?\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
    string(REGEX REPLACE "^-l" "" item "${item}")
    string(TOLOWER "${item}" item)
    if(item STREQUAL "")
      continue()
    endif()
    if(NOT TARGET syslib::${item})
      message(FATAL_ERROR "deps: libcurl links against '${item}' (see ${exported}), which is not "
                          "a syslib:: target. If it is a Windows system library, add it to "
                          "cmake/SystemLibraries.cmake; otherwise the curl recipe enabled "
                          "something it should not.")
    endif()
    list(APPEND libraries syslib::${item})
  endforeach()
  list(REMOVE_DUPLICATES libraries)
  set(${result} "${libraries}" PARENT_SCOPE)
endfunction()

function(_lumivane_deps_windows)
  if(NOT CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "deps: Windows builds are cross-compiled on Debian; use the win32 or win64 preset")
  endif()
  if(NOT TARGET syslib::ws2_32)
    message(FATAL_ERROR "deps: include cmake/SystemLibraries.cmake before cmake/Dependencies.cmake")
  endif()

  _lumivane_dependency(curl curl)
  _lumivane_dependency(jsoncpp jsoncpp)
  _lumivane_dependency(lzma7z lzma7z)
  _lumivane_dependency(googletest gtest)

  _lumivane_deps_curl_system_libraries("${curl}" curl_libraries)
  _lumivane_deps_import_static(Lumivane::curl "${curl}/lib/libcurl.a" C "${curl}/include")
  set_target_properties(Lumivane::curl PROPERTIES
    INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
    INTERFACE_LINK_LIBRARIES "${curl_libraries}")

  set(tool "")
  if(EXISTS "${curl}/bin/curl.exe")
    set(tool "${curl}/bin/curl.exe")
  endif()
  set(LUMIVANE_CURL_TOOL "${tool}" CACHE FILEPATH
      "curl.exe from the same sources and options as Lumivane::curl (win64 only)" FORCE)

  _lumivane_deps_import_static(Lumivane::jsoncpp "${jsoncpp}/lib/libjsoncpp.a" CXX "${jsoncpp}/include")
  _lumivane_deps_import_static(Lumivane::lzma7z "${lzma7z}/lib/liblzma7z.a" C "${lzma7z}/include/lzma7z")

  _lumivane_deps_import_static(GTest::gtest "${gtest}/lib/libgtest.a" CXX "${gtest}/include")
  _lumivane_deps_import_static(GTest::gtest_main "${gtest}/lib/libgtest_main.a" CXX)
  _lumivane_deps_import_static(GTest::gmock "${gtest}/lib/libgmock.a" CXX "${gtest}/include")
  _lumivane_deps_import_static(GTest::gmock_main "${gtest}/lib/libgmock_main.a" CXX)
  set_target_properties(GTest::gtest_main PROPERTIES INTERFACE_LINK_LIBRARIES GTest::gtest)
  set_target_properties(GTest::gmock PROPERTIES INTERFACE_LINK_LIBRARIES GTest::gtest)
  set_target_properties(GTest::gmock_main PROPERTIES INTERFACE_LINK_LIBRARIES GTest::gmock)
endfunction()

function(_lumivane_deps_host)
  _lumivane_dependency(lzma7z lzma7z)
  _lumivane_deps_import_static(Lumivane::lzma7z "${lzma7z}/lib/liblzma7z.a" C "${lzma7z}/include/lzma7z")

  find_package(jsoncpp CONFIG REQUIRED)
  if(TARGET jsoncpp_static)
    set(jsoncpp jsoncpp_static)
  elseif(TARGET jsoncpp_lib)
    set(jsoncpp jsoncpp_lib)
  else()
    message(FATAL_ERROR "deps: Debian's jsoncpp package defines neither jsoncpp_static nor jsoncpp_lib")
  endif()
  set_property(TARGET ${jsoncpp} PROPERTY IMPORTED_GLOBAL TRUE)
  add_library(Lumivane::jsoncpp INTERFACE IMPORTED GLOBAL)
  set_target_properties(Lumivane::jsoncpp PROPERTIES INTERFACE_LINK_LIBRARIES ${jsoncpp})

  find_package(GTest REQUIRED)
  if(NOT TARGET GTest::gmock)
    find_library(LUMIVANE_GMOCK_LIBRARY gmock REQUIRED)
    find_library(LUMIVANE_GMOCK_MAIN_LIBRARY gmock_main REQUIRED)
    mark_as_advanced(LUMIVANE_GMOCK_LIBRARY LUMIVANE_GMOCK_MAIN_LIBRARY)
    add_library(GTest::gmock UNKNOWN IMPORTED)
    set_target_properties(GTest::gmock PROPERTIES
      IMPORTED_LOCATION "${LUMIVANE_GMOCK_LIBRARY}" INTERFACE_LINK_LIBRARIES GTest::gtest)
    add_library(GTest::gmock_main UNKNOWN IMPORTED)
    set_target_properties(GTest::gmock_main PROPERTIES
      IMPORTED_LOCATION "${LUMIVANE_GMOCK_MAIN_LIBRARY}" INTERFACE_LINK_LIBRARIES GTest::gmock)
  endif()
  foreach(target GTest::gtest GTest::gtest_main GTest::gmock GTest::gmock_main)
    get_target_property(global ${target} IMPORTED_GLOBAL)
    if(NOT global)
      set_property(TARGET ${target} PROPERTY IMPORTED_GLOBAL TRUE)
    endif()
  endforeach()
  message(STATUS "deps: jsoncpp ${jsoncpp_VERSION} and GoogleTest ${GTest_VERSION} from Debian's packages")

  set(LUMIVANE_CURL_TOOL "" CACHE FILEPATH
      "curl.exe from the same sources and options as Lumivane::curl (win64 only)" FORCE)
endfunction()

_lumivane_deps_locate_cache()
_lumivane_deps_describe_toolchain()
_lumivane_deps_find_ninja()
if(WIN32)
  _lumivane_deps_windows()
else()
  _lumivane_deps_host()
endif()

# stb is header-only; Debian's libstb-dev headers serve every target.
if(NOT EXISTS /usr/include/stb/stb_image.h)
  message(FATAL_ERROR "deps: /usr/include/stb/stb_image.h is missing; run ./scripts/setup")
endif()
add_library(Lumivane::stb INTERFACE IMPORTED GLOBAL)
set_target_properties(Lumivane::stb PROPERTIES INTERFACE_INCLUDE_DIRECTORIES /usr/include/stb)
