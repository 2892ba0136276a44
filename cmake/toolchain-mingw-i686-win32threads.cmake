# The release programs: the i686 compilers with MinGW's win32 threading model.
# Their runtime needs nothing newer than Windows 2000 from kernel32, where the
# posix model's runtime imports GetTickCount64 (Windows Vista and later), and
# Virtual Server and VMware Server hosts run Windows Server 2003 and XP as
# well. The 32-bit test build (win32) uses the same compilers, so that the
# tests run the code as it is shipped; its tests therefore use the system's
# threads and clocks, never std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The tests run the programs through WoW64: the 32-bit Wine beside wine64.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
