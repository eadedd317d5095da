# `cmake --install build [--prefix DIR]`: the program and ambrel-cli in bin,
# the image library and its scanner source manager side by side in lib (the
# library loads the manager from its own folder).
include(GNUInstallDirs)
set_target_properties(ambrel ambrel-cli PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS ambrel ambrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Velvix LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
if(TARGET velvix_twain_dsm)
  install(TARGETS velvix_twain_dsm LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
