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
  # Static: the programs need no MinGW runtime DLL, on Windows or under Wine.
  target_compile_definitions(project_options INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_options(project_options INTERFACE -static -static-libgcc
    -static-libstdc++)
  # No link time in the PE header: the same sources give the same bytes.
  target_link_options(project_options INTERFACE -Wl,--no-insert-timestamp)
endif()
