ambrel_unit_tests(geometry_tests
  ${CMAKE_CURRENT_LIST_DIR}/resample_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rotation_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fine_arts_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/red_eye_test.cpp
)
