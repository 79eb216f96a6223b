# Fails when a Windows executable imports a DLL that does not come with Windows (libstdc++-6,
# libgcc_s_seh-1, libwinpthread-1, zlib1, libxml2, ...): each .exe must run with no DLL beside it.
# Also fails when zelpack-gui.exe is not a window program (it would open a console) or another
# program is not a console one, and when a program lacks the manifest that lets it use paths past
# MAX_PATH.
# cmake -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DEXECUTABLES=<file, one .exe a line> -P this file
cmake_minimum_required(VERSION 3.25)
file(STRINGS "${EXECUTABLES}" executables)
if(NOT executables)
  message(FATAL_ERROR "no executables listed in ${EXECUTABLES}")
endif()
# Windows' own DLLs that a console program may reasonably use; the api-ms-win-* sets of the
# Universal CRT count too.
set(system_dlls
    advapi32 bcrypt comctl32 comdlg32 crypt32 dbghelp gdi32 kernel32 msvcrt ntdll ole32 oleaut32
    psapi rpcrt4 secur32 shell32 shlwapi ucrtbase user32 userenv version ws2_32)
set(problems "")
foreach(executable IN LISTS executables)
  if(NOT EXISTS "${executable}")
    string(APPEND problems "\n  ${executable}: not built")
    continue()
  endif()
  execute_process(COMMAND "${OBJDUMP}" -p "${executable}" OUTPUT_VARIABLE dump
                  RESULT_VARIABLE status)
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  if(NOT status EQUAL 0 OR NOT imports)
    string(APPEND problems "\n  ${executable}: objdump found no imports (exit ${status})")
    continue()
  endif()
  set(names "")
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${import}")
    string(TOLOWER "${dll}" name)
    string(REGEX REPLACE "\\.dll$" "" name "${name}")
    list(APPEND names ${dll})
    if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
      string(APPEND problems "\n  ${executable}: imports ${dll}")
    endif()
  endforeach()
  list(JOIN names " " names)
  get_filename_component(program "${executable}" NAME)
  set(subsystem "Windows CUI")
  if(program STREQUAL "zelpack-gui.exe")
    set(subsystem "Windows GUI")
  endif()
  if(NOT dump MATCHES "Subsystem[ \t]+[0-9a-fA-F]+[ \t]+\\(${subsystem}\\)")
    string(APPEND problems "\n  ${executable}: not a ${subsystem} program")
  endif()
  file(STRINGS "${executable}" long_paths REGEX "<longPathAware[^>]*>true</longPathAware>"
       LIMIT_COUNT 1)
  if(NOT long_paths)
    string(APPEND problems "\n  ${executable}: no manifest with longPathAware")
  endif()
  message(STATUS "${executable} (${subsystem}): ${names}")
endforeach()
if(problems)
  message(FATAL_ERROR "Windows executables that do not run alone:${problems}")
endif()
