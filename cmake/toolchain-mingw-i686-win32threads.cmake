# The release programs: the i686 compilers with MinGW's win32 threading model.
# Their runtime needs nothing newer than Windows 2000 from kernel32, where the
# posix model's runtime imports GetTickCount64 (Windows Vista and later), and
# Virtual Server and VMware Server hosts run Windows Server 2003 and XP as
# well. The unit tests need std::mutex, which only the posix model has, so the
# compile check (win32) keeps the posix compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
