# One INTERFACE target that every target of the project links: warnings,
# sanitizers and the MinGW settings live here and nowhere else.
add_library(project_options INTERFACE)

target_compile_options(project_options INTERFACE -Wall -Wextra -Wshadow)
if(ENABLER_WERROR)
  target_compile_options(project_options INTERFACE -Werror)
endif()

if(ENABLER_SANITIZE)
  string(REPLACE ";" "," _enabler_sanitize "${ENABLER_SANITIZE}")
  target_compile_options(project_options INTERFACE
    -fsanitize=${_enabler_sanitize} -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  target_link_options(project_options INTERFACE -fsanitize=${_enabler_sanitize})
endif()

target_include_directories(project_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

if(MINGW)
  # The Windows version whose headers the code sees. The release programs
  # must load on XP and Server 2003, so their build (release-win32) sets
  # 0x0501: a function that came later is then not declared, and calling it
  # without GetProcAddress fails the build instead of the program's start on
  # an old host. The test builds keep Windows 7 for their test programs.
  set(ENABLER_WIN32_WINNT 0x0601 CACHE STRING
    "_WIN32_WINNT and WINVER of the MinGW builds, e.g. 0x0501 for XP")
  # Static: the programs need no MinGW runtime DLL, on Windows or under Wine.
  target_compile_definitions(project_options INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=${ENABLER_WIN32_WINNT}
    WINVER=${ENABLER_WIN32_WINNT})
  target_link_options(project_options INTERFACE -static -static-libgcc
    -static-libstdc++)
  # No link time in the PE header: the same sources give the same bytes.
  target_link_options(project_options INTERFACE -Wl,--no-insert-timestamp)
endif()
