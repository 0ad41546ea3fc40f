# Read by CTest when it starts, once per test program: lists the program's
# test suites and adds one CTest test per suite, named <program>.<suite>,
# which runs the suite alone. Set before the include: VELKAN_PROGRAM (the
# program's path) and VELKAN_PREFIX ("<program>.").
if(NOT EXISTS "${VELKAN_PROGRAM}")
    add_test("${VELKAN_PREFIX}NOT_BUILT" "${VELKAN_PROGRAM}")
    return()
endif()
execute_process(COMMAND "${VELKAN_PROGRAM}" --gtest_list_tests
                OUTPUT_VARIABLE listing
                ERROR_VARIABLE errors
                RESULT_VARIABLE result
                TIMEOUT 600)
if(NOT result EQUAL 0)
    # A program that cannot even list its tests fails as a test of its own.
    add_test("${VELKAN_PREFIX}LIST_TESTS" "${VELKAN_PROGRAM}" --gtest_list_tests)
    return()
endif()
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
    # Suite lines start at the margin and end in "." (a comment may follow);
    # the tests under them are indented.
    if(line MATCHES "^([^ .]+)\\.")
        set(test "${VELKAN_PREFIX}${CMAKE_MATCH_1}")
        add_test("${test}" "${VELKAN_PROGRAM}" "--gtest_filter=${CMAKE_MATCH_1}.*")
        set_tests_properties("${test}" PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                                                  TIMEOUT 1200)
    endif()
endforeach()
