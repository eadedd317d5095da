# ambrel_unit_tests(filter_tests ${CMAKE_CURRENT_LIST_DIR}/...)
