# `cmake --graphviz=layers.dot build` draws the layer libraries and the
# programs, without the tests, the benchmarks and the system libraries: the
# picture of docs/code-map.md.
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS ".*_test.*" ".*_tests" "bench_.*" ".*_bench" "signal_exit_helper"
  "m797_draw_pictures" ".*fuzzer" "m797_benchmarks" "m797_compressed_docs")
