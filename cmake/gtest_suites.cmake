# Writes OUTPUT: one CTest test per test suite of the gtest program PROGRAM,
# named after the suite and run as PROGRAM --gtest_filter=SUITE.*, with the
# label LABEL and the environment ENVIRONMENT. Run with cmake -P after each
# link of the program.
execute_process(COMMAND "${PROGRAM}" --gtest_list_tests
  OUTPUT_VARIABLE listing RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --gtest_list_tests failed: ${status}")
endif()

# Suites start in the first column and end with a dot ("Formats/SaveEveryFormat.");
# their tests are indented below them.
string(REGEX MATCHALL "\n[^ \n#][^ \n]*\\." suites "\n${listing}")
set(script "")
foreach(suite IN LISTS suites)
  string(REGEX REPLACE "^\n(.*)\\.$" "\\1" suite "${suite}")
  string(APPEND script
    "add_test([==[${suite}]==] [==[${PROGRAM}]==] [==[--gtest_filter=${suite}.*]==])\n"
    "set_tests_properties([==[${suite}]==] PROPERTIES LABELS [==[${LABEL}]==]\n"
    "  ENVIRONMENT [==[${ENVIRONMENT}]==] TIMEOUT 300)\n")
endforeach()
file(WRITE "${OUTPUT}" "${script}")
