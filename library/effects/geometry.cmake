# Resampling, rotation, distortions and red-eye reduction.
target_sources(velvix_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/resample.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rotation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fine_arts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/red_eye.cpp
)
