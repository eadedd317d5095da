ambrel_unit_tests(filter_tests
  ${CMAKE_CURRENT_LIST_DIR}/filter_oracle_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filter_cases_test.cpp
)
ambrel_gui_tests(filter_photo_tests
  ${CMAKE_CURRENT_LIST_DIR}/filter_photo_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../gtest_qt_main.cpp
)
