# ambrel_benchmark(filters_bench ...)
