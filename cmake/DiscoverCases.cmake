# Lists one test program's cases ahead of ctest, which runs the programs' listings one after
# another before any case: the test commands run these side by side. Only the list is written
# (the include file that gtest_discover_tests made); adding the cases stays ctest's.
# Usage: cmake -DINCLUDE=<program's include file> -P DiscoverCases.cmake
macro(add_test)
endmacro()
macro(set_tests_properties)
endmacro()
include("${INCLUDE}")
