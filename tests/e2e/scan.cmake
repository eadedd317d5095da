# Scanning in Xvfb with SANE's test backend: Acquire, the source's dialog,
# Scan, and the picture in a new image window; and the box without a scanner.
foreach(case acquire noscanner)
  add_test(NAME e2e.scan.${case} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scan_e2e.sh $<TARGET_FILE:ambrel> ${case})
  set_tests_properties(e2e.scan.${case} PROPERTIES LABELS e2e TIMEOUT 120)
endforeach()
