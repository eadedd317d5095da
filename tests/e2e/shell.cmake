# The real program in Xvfb, driven with xdotool and checked by screenshots.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SESSION_MANAGEMENT REQUIRED IMPORTED_TARGET sm ice)
add_executable(ambrel_test_session_manager ${CMAKE_CURRENT_SOURCE_DIR}/session_manager.cpp)
target_link_libraries(ambrel_test_session_manager PRIVATE PkgConfig::SESSION_MANAGEMENT)

foreach(case startup crashguard placement update signal sessionend)
  add_test(NAME e2e.shell.${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/shell_e2e.sh $<TARGET_FILE:ambrel> ${case}
                   $<TARGET_FILE:ambrel_test_session_manager>)
  set_tests_properties(e2e.shell.${case} PROPERTIES LABELS e2e TIMEOUT 120)
endforeach()
