# The fuzzers, built from the main build: this same source tree configured
# again with clang and AMBREL_BUILD_FUZZ (only the Qt-free image core, with
# ASan, UBSan and libFuzzer), then run for a short while each as CTest tests
# labelled "fuzz", the readers starting from the external suites' files.
find_program(AMBREL_CLANG clang)
find_program(AMBREL_CLANGXX clang++)
if(NOT AMBREL_CLANG OR NOT AMBREL_CLANGXX)
  message(STATUS "clang not found: the fuzzers are not built")
  return()
endif()

include(ExternalProject)
set(AMBREL_FUZZ_SECONDS 15 CACHE STRING "How long each fuzzer runs in the test suite")
set(fuzz_build ${CMAKE_BINARY_DIR}/fuzz-build)
set(fuzz_flags "-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer -DAMBREL_FUZZING")
ExternalProject_Add(ambrel_fuzzers
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${fuzz_build}
  CMAKE_ARGS -DAMBREL_BUILD_FUZZ=ON
             -DCMAKE_BUILD_TYPE=RelWithDebInfo
             -DCMAKE_C_COMPILER=${AMBREL_CLANG}
             -DCMAKE_CXX_COMPILER=${AMBREL_CLANGXX}
             -DCMAKE_C_FLAGS=${fuzz_flags}
             -DCMAKE_CXX_FLAGS=${fuzz_flags}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

set(seeds ${AMBREL_TESTDATA_DIR})
set(fuzz_seeds_bmp ${seeds}/bmp/bmpsuite-2.8/g ${seeds}/bmp/bmpsuite-2.8/q ${seeds}/bmp/bmpsuite-2.8/b
                   ${seeds}/bmp/image-rs/good ${seeds}/bmp/image-rs/questionable ${seeds}/bmp/image-rs/bad)
set(fuzz_seeds_jpeg ${seeds}/jpeg/jpegsuite/baseline ${seeds}/jpeg/jpegsuite/progressive_huffman
                    ${seeds}/jpeg/jpegsuite/extended_arithmetic ${seeds}/jpeg/jpeg-decoder-crashtest
                    ${seeds}/jpeg/pillow/good)
set(fuzz_seeds_png ${seeds}/png/pngsuite ${seeds}/png/libpng-crashers ${seeds}/png/image-png-bugfixes)
set(fuzz_seeds_gif ${seeds}/gif/pygif-test-suite ${seeds}/gif/image-gif ${seeds}/gif/imagetestsuite
                   ${seeds}/gif/libnsgif ${seeds}/gif/peterdn-gif-test-suite/gifs)
# The effects fuzzer builds its pictures from the input; it starts from the
# inputs that once found a fault.
set(fuzz_seeds_effects ${CMAKE_SOURCE_DIR}/fuzz/regressions/effects)
foreach(format IN ITEMS bmp jpeg png gif effects)
  # New inputs go to a corpus folder of the build; the suites are only read.
  set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${format})
  set(artifacts ${CMAKE_BINARY_DIR}/fuzz-artifacts/)
  add_test(NAME fuzz_${format}
           COMMAND sh -c "mkdir -p '${corpus}' '${artifacts}' && exec \"$0\" \"$@\""
                   ${fuzz_build}/fuzz/fuzz_${format} ${corpus} ${fuzz_seeds_${format}}
                   -max_total_time=${AMBREL_FUZZ_SECONDS} -max_len=65536 -rss_limit_mb=2048
                   -timeout=20 -artifact_prefix=${artifacts}fuzz_${format}- -print_final_stats=1)
  set_tests_properties(fuzz_${format} PROPERTIES LABELS fuzz TIMEOUT 300)
endforeach()
