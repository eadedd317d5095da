# ambrel_benchmark(geometry_bench ...)
