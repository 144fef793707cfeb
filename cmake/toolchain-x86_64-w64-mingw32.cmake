# The same Windows build for x86-64: only for testing the Win32 code under wine64 on machines whose kernel
# runs no 32-bit code. The program that ships is the i686 one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VOSTREL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
