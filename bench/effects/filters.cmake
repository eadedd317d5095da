ambrel_benchmark(filters_bench ${CMAKE_CURRENT_LIST_DIR}/filters_bench.cpp)
