// The benchmark program's one main: every other file here only registers benchmarks.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
