# target_sources(velvix_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/resample.cpp ...)
