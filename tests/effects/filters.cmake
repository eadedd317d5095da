ambrel_unit_tests(filter_tests
  ${CMAKE_CURRENT_LIST_DIR}/filter_oracle_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filter_cases_test.cpp
)
