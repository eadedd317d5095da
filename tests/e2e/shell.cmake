# The real program in Xvfb, driven with xdotool and checked by screenshots.
foreach(case startup crashguard placement update signal)
  add_test(NAME e2e.shell.${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/shell_e2e.sh $<TARGET_FILE:ambrel> ${case})
  set_tests_properties(e2e.shell.${case} PROPERTIES LABELS e2e TIMEOUT 120)
endforeach()
