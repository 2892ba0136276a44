# Modules register their unit-test sources and the libraries those need; the
# single unit_tests executable is made from all of them in tests/.
define_property(GLOBAL PROPERTY ENABLER_TEST_SOURCES
  BRIEF_DOCS "unit test sources" FULL_DOCS "unit test sources of all modules")
define_property(GLOBAL PROPERTY ENABLER_TEST_LIBS
  BRIEF_DOCS "unit test libraries" FULL_DOCS "libraries the unit tests link")

function(enabler_add_tests)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  foreach(src IN LISTS ARG_SOURCES)
    get_filename_component(abs ${src} ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY ENABLER_TEST_SOURCES ${abs})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ENABLER_TEST_LIBS ${ARG_LIBS})
endfunction()

define_property(GLOBAL PROPERTY ENABLER_TEST_PROGRAMS
  BRIEF_DOCS "test programs" FULL_DOCS "programs unit_tests starts")

# A program that the unit tests start; built before unit_tests, into bin/.
function(enabler_add_test_program target)
  set_property(GLOBAL APPEND PROPERTY ENABLER_TEST_PROGRAMS ${target})
endfunction()
