# What both mingw-w64 toolchain files share; VOSTREL_MINGW_TRIPLE names the compilers.

# The win32 thread model: the posix one links winpthreads, which imports GetTickCount64 (not on XP).
find_program(VOSTREL_MINGW_WIN32_CXX ${VOSTREL_MINGW_TRIPLE}-g++-win32)
if(VOSTREL_MINGW_WIN32_CXX)
  set(CMAKE_C_COMPILER ${VOSTREL_MINGW_TRIPLE}-gcc-win32)
  set(CMAKE_CXX_COMPILER ${VOSTREL_MINGW_TRIPLE}-g++-win32)
else()
  set(CMAKE_C_COMPILER ${VOSTREL_MINGW_TRIPLE}-gcc)
  set(CMAKE_CXX_COMPILER ${VOSTREL_MINGW_TRIPLE}-g++)
endif()
set(CMAKE_RC_COMPILER ${VOSTREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VOSTREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No API newer than Windows XP: the headers then hide what XP lacks.
add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501)
# libgcc and libstdc++ go into the program, so it needs nothing beside the system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Windows programs built here run under Wine; x86-64 ones need the 64-bit loader, which Debian does not
# put on the path when wine32 is installed.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL AMD64)
  find_program(VOSTREL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
else()
  find_program(VOSTREL_WINE NAMES wine)
endif()
if(VOSTREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VOSTREL_WINE})
endif()
