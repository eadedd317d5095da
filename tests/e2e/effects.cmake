# Effects from the menus and keys, repeat and undo, checked on screenshots.
add_test(NAME e2e.viewer.effects COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/effects_e2e.sh $<TARGET_FILE:ambrel>)
set_tests_properties(e2e.viewer.effects PROPERTIES LABELS e2e TIMEOUT 300)
