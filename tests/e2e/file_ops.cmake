# Sorting photos from the image viewer: F7 and a slot key move the shown photo
# into the slot's folder and show the next one; undo brings it back.
add_test(NAME e2e.file_ops.session COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/file_ops_e2e.sh $<TARGET_FILE:ambrel>)
set_tests_properties(e2e.file_ops.session PROPERTIES LABELS e2e TIMEOUT 300)
