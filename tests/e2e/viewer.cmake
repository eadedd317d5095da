# The image viewer in Xvfb: opening, stepping, selection, crop, undo, paste,
# zoom, the slideshow and the folder watch, in one run of the program.
add_test(NAME e2e.viewer.session COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/viewer_e2e.sh $<TARGET_FILE:ambrel>)
set_tests_properties(e2e.viewer.session PROPERTIES LABELS e2e TIMEOUT 300)
