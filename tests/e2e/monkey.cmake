# A seeded random user on the whole program, a few fixed seeds.
add_executable(ambrel_monkey ${CMAKE_CURRENT_SOURCE_DIR}/monkey_driver.cpp)
target_link_libraries(ambrel_monkey PRIVATE ambrel_app Qt6::Test Qt6::Widgets)
target_include_directories(ambrel_monkey PRIVATE ${CMAKE_SOURCE_DIR}/app)
add_test(NAME e2e.monkey COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/monkey_e2e.sh $<TARGET_FILE:ambrel_monkey>
                                 ${AMBREL_TESTDATA_DIR})
set_tests_properties(e2e.monkey PROPERTIES LABELS e2e TIMEOUT 300)
