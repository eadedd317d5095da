# The duplicate finder in Xvfb: scan, compare, mark, delete, zeroed record.
add_test(NAME e2e.duplicates.session COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/duplicates_e2e.sh $<TARGET_FILE:ambrel>)
set_tests_properties(e2e.duplicates.session PROPERTIES LABELS e2e TIMEOUT 300)
