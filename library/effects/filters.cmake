# Point and colour effects, kernel filters, edge detectors, noise reduction,
# histogram, image difference and hidden text.
target_sources(velvix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/simple_effects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/histogram.cpp
  ${CMAKE_CURRENT_LIST_DIR}/matrix_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sobel_edge_detector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/noise_reduction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/analysis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_diff.cpp
  ${CMAKE_CURRENT_LIST_DIR}/encode_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kernels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kernels_portable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kernels_avx2.cpp
)
# The pixel loops are written for the vectoriser. -fno-math-errno and
# -fno-trapping-math only let square roots and floating-point selections
# vectorise (no errno, no exception flags); no result changes.
set_source_files_properties(
  ${CMAKE_CURRENT_LIST_DIR}/simple_effects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/histogram.cpp
  ${CMAKE_CURRENT_LIST_DIR}/matrix_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support_helper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/noise_reduction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_diff.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kernels_portable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kernels_avx2.cpp
  TARGET_DIRECTORY velvix_core
  PROPERTIES COMPILE_OPTIONS "-O3;-fno-math-errno;-fno-trapping-math")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|i.86")
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/kernels_avx2.cpp TARGET_DIRECTORY velvix_core
               APPEND PROPERTY COMPILE_OPTIONS "-mavx2")
endif()
