# enabler_add_program: an executable of the project with, on Windows, a
# version resource and the console subsystem.
#
#   enabler_add_program(<target>
#     SOURCES <file>...
#     [VERSION_NUMBERS <a>,<b>,<c>,<d>] # FILEVERSION and PRODUCTVERSION
#     [VERSION_TEXT "<text>"]           # the FileVersion string
#     DESCRIPTION "<text>")             # FileDescription
#
# The release version is the project version (project() in the top
# CMakeLists.txt): it gives the numbers, unless VERSION_NUMBERS says otherwise,
# and the ProductVersion string of every program; the FileVersion string is
# VERSION_TEXT, or the release version without it. The resource names the
# program "<target>.exe" (OriginalFilename), "<target>" (InternalName) and
# "KEP Enabler" (ProductName). Its text comes from a configured .rc file, so
# nothing in it depends on the time of the build.
#
# The two enablers carry the release numbers and, as FileVersion, the build
# text of their version banners:
#
#   enabler_add_program(vs-enabler
#     SOURCES EnablerVirtualServer.cpp ...
#     VERSION_TEXT "kep_2.5, 20080619v2.5"
#     DESCRIPTION "KEP Enabler for Microsoft Virtual Server")
#
# Libraries are added afterwards with target_link_libraries(<target> ...).

set(_enabler_program_template ${CMAKE_CURRENT_LIST_DIR}/enabler_version.rc.in)

function(enabler_add_program target)
  cmake_parse_arguments(ARG "" "VERSION_NUMBERS;VERSION_TEXT;DESCRIPTION"
                        "SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "enabler_add_program(${target}): no SOURCES")
  endif()
  if(NOT ARG_VERSION_NUMBERS)
    # The project version padded to four numbers: 2.5 gives 2,5,0,0.
    string(REPLACE "." ";" _numbers "${PROJECT_VERSION}")
    list(APPEND _numbers 0 0 0 0)
    list(SUBLIST _numbers 0 4 _numbers)
    string(REPLACE ";" "," ARG_VERSION_NUMBERS "${_numbers}")
  endif()
  if(NOT ARG_VERSION_TEXT)
    set(ARG_VERSION_TEXT "${PROJECT_VERSION}")
  endif()
  if(NOT ARG_VERSION_NUMBERS MATCHES "^[0-9]+,[0-9]+,[0-9]+,[0-9]+$")
    message(FATAL_ERROR "enabler_add_program(${target}): VERSION_NUMBERS "
                        "must be four numbers a,b,c,d, not '${ARG_VERSION_NUMBERS}'")
  endif()
  string(REPLACE "," ";" _numbers "${ARG_VERSION_NUMBERS}")
  foreach(n IN LISTS _numbers)
    if(n GREATER 65535)
      message(FATAL_ERROR "enabler_add_program(${target}): version number "
                          "${n} does not fit 16 bits")
    endif()
  endforeach()

  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE project_options)

  if(WIN32)
    # A double quote inside an RC string is written twice.
    string(REPLACE "\"" "\"\"" ENABLER_RC_VERSION_TEXT "${ARG_VERSION_TEXT}")
    string(REPLACE "\"" "\"\"" ENABLER_RC_DESCRIPTION "${ARG_DESCRIPTION}")
    set(ENABLER_RC_PRODUCT_VERSION "${PROJECT_VERSION}")
    set(ENABLER_RC_VERSION_NUMBERS "${ARG_VERSION_NUMBERS}")
    set(ENABLER_RC_NAME "${target}")
    set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${_enabler_program_template} ${_rc} @ONLY)
    target_sources(${target} PRIVATE ${_rc})
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE FALSE)
    target_link_options(${target} PRIVATE -mconsole)
  endif()
endfunction()
