# syslib::<name>: how our code and the dependencies link a Windows system DLL.
#
# The installer runs elevated from download folders, where anyone can drop a DLL beside
# it. The loader resolves load-time imports before any of our code runs, looking in the
# executable's folder first, except for the KnownDLLs that Windows always maps from
# System32. So only a few core KnownDLLs are imported at load time; every other system
# DLL is delay-loaded: the first call loads it with LoadLibrary, by which time the entry
# point has restricted the search to System32 (app/DllSearchPolicy).
#
# Even KnownDLLs such as user32 and shell32 are delay-loaded: their own imports (Wine's
# gdi32 imports version.dll, for one) are not all KnownDLLs everywhere, and Wine resolves
# them along the executable's search path, where a planted DLL would win. kernel32 is in
# every process anyway and msvcrt is the C run-time the program starts with.
#
# The delay-import libraries are made at configure time with dlltool from the function
# exports of MinGW's ordinary import libraries.

set(LUMIVANE_LOAD_TIME_DLLS kernel32 msvcrt)

set(LUMIVANE_DELAYED_DLLS
  user32 gdi32 advapi32 shell32 ole32 oleaut32 shlwapi comdlg32 ws2_32 imm32 rpcrt4 setupapi wldap32 psapi normaliz
  winhttp netapi32 wtsapi32 bcrypt secur32 crypt32 gdiplus comctl32 iphlpapi userenv msimg32
  version dwmapi uxtheme winmm)

set(_lumivane_syslib_recipe ${CMAKE_CURRENT_LIST_FILE})

function(lumivane_make_delay_library name out_var)
  set(dir ${CMAKE_BINARY_DIR}/delayload)
  set(out ${dir}/lib${name}_delay.a)
  set(${out_var} ${out} PARENT_SCOPE)
  set(import_lib ${CMAKE_FIND_ROOT_PATH}/lib/lib${name}.a)
  if(EXISTS ${out} AND ${out} IS_NEWER_THAN ${import_lib} AND ${out} IS_NEWER_THAN ${_lumivane_syslib_recipe})
    return()
  endif()
  if(NOT EXISTS ${import_lib})
    message(FATAL_ERROR "No import library for ${name}.dll at ${import_lib}")
  endif()
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND ${LUMIVANE_TRIPLE}-nm -g --defined-only ${import_lib}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result ERROR_QUIET)
  if(NOT nm_result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${import_lib}")
  endif()
  # Functions have a code thunk ("T"); data exports cannot be delay-loaded and are left out.
  string(REGEX MATCHALL "[0-9a-f]+ T [^\n]+" thunks "${symbols}")
  set(exports "")
  foreach(line IN LISTS thunks)
    string(REGEX REPLACE "^[0-9a-f]+ T " "" symbol "${line}")
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
      string(REGEX REPLACE "^_(.*)$" "\\1" symbol "${symbol}")  # one cdecl/stdcall underscore
    endif()
    string(APPEND exports "  ${symbol}\n")
  endforeach()
  file(WRITE ${dir}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}")
  set(kill_at "")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(kill_at --kill-at)  # stdcall "Name@N" symbols import the undecorated "Name"
  endif()
  execute_process(COMMAND ${LUMIVANE_TRIPLE}-dlltool --input-def ${dir}/${name}.def --dllname ${name}.dll
                          ${kill_at} --output-delaylib ${out}
                  RESULT_VARIABLE dlltool_result ERROR_VARIABLE dlltool_error)
  if(NOT dlltool_result EQUAL 0)
    message(FATAL_ERROR "dlltool could not make the delay-import library of ${name}.dll: ${dlltool_error}")
  endif()
endfunction()

function(lumivane_system_library name)
  if(TARGET syslib::${name})
    return()
  endif()
  add_library(syslib::${name} INTERFACE IMPORTED GLOBAL)
  if(name IN_LIST LUMIVANE_DELAYED_DLLS)
    lumivane_make_delay_library(${name} delay_lib)
    set_target_properties(syslib::${name} PROPERTIES INTERFACE_LINK_LIBRARIES "${delay_lib};delayimp")
  elseif(name IN_LIST LUMIVANE_LOAD_TIME_DLLS)
    set_target_properties(syslib::${name} PROPERTIES INTERFACE_LINK_LIBRARIES ${name})
  else()
    message(FATAL_ERROR "${name}.dll is set up neither for load-time import nor for delay-loading")
  endif()
endfunction()

if(WIN32)
  foreach(lib IN LISTS LUMIVANE_LOAD_TIME_DLLS LUMIVANE_DELAYED_DLLS)
    lumivane_system_library(${lib})
  endforeach()
endif()
