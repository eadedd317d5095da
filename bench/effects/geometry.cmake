ambrel_benchmark(geometry_bench ${CMAKE_CURRENT_LIST_DIR}/geometry_bench.cpp)
