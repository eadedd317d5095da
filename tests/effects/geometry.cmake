# ambrel_unit_tests(geometry_tests ${CMAKE_CURRENT_LIST_DIR}/...)
