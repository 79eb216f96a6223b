# Cross-builds native Windows x86-64 programs on Debian with mingw-w64 (scripts/setup-windows.sh
# uses it). The -posix compilers use winpthreads, so std::thread and std::mutex work.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELPACK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELPACK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELPACK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELPACK_MINGW_TRIPLET}-windres)

# The libraries built for Windows by scripts/setup-windows.sh (libxml2, GoogleTest, CLI11's
# headers) live in this prefix; a build may point elsewhere with -DZELPACK_WINDOWS_DEPS=...
if(NOT ZELPACK_WINDOWS_DEPS)
  get_filename_component(ZELPACK_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-windows/deps/prefix"
                         ABSOLUTE)
endif()
set(ZELPACK_WINDOWS_DEPS "${ZELPACK_WINDOWS_DEPS}" CACHE PATH "Prefix of the Windows dependencies")
# try_compile projects see the toolchain file again, with the variable passed on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZELPACK_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELPACK_MINGW_TRIPLET} "${ZELPACK_WINDOWS_DEPS}")
# Programs come from the build machine; headers, libraries and packages only from the roots.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test discovery and ctest run the .exe files under Wine, in the project's private prefix.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh"
                       ABSOLUTE)

# One self-contained .exe: the C++ runtime, libgcc and winpthreads linked in, so that no DLL has
# to travel beside it (tests/windows/check_imports.cmake checks every executable).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# zlib for the tests: the static archive, not the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
