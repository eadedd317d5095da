# The thumbnail window in Xvfb: a folder opened from the main frame, a group
# picked, a cell opened in the viewer, the group converted into a folder.
add_test(NAME e2e.thumbnails.session COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/thumbnails_e2e.sh $<TARGET_FILE:ambrel>)
set_tests_properties(e2e.thumbnails.session PROPERTIES LABELS e2e TIMEOUT 300)
