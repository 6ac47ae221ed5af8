# The win32 thread model lacks std::mutex, which GoogleTest needs: use -posix.
set(CMAKE_C_COMPILER ${ZV_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZV_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZV_TRIPLET}-windres)
get_filename_component(ZV_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(ZV_DEPS_PREFIX ${ZV_SOURCE_ROOT}/.deps/${CMAKE_SYSTEM_PROCESSOR} CACHE PATH "Cross-built dependencies")
set(CMAKE_FIND_ROOT_PATH /usr/${ZV_TRIPLET} ${ZV_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run through the cross-compiling emulator: 64-bit Wine for x86_64, and
# for i686 32-bit Wine through scripts/wine32, which provides for i386 Linux
# programs where the kernel does not run them (scripts/i386-run).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  find_program(ZV_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(ZV_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZV_WINE64})
  endif()
elseif(EXISTS /usr/lib/wine/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZV_SOURCE_ROOT}/scripts/wine32)
endif()
