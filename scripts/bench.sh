#!/usr/bin/env bash
# Builds the project optimised into build/release and runs the transition benchmarks;
# prints the library's console output, then a Markdown table of each result as
# a ratio to a plain frame copy of the same size.
#   scripts/bench.sh                  every benchmark, about 0.2 s each
#   scripts/bench.sh --quick          shorter measurements
#   scripts/bench.sh --benchmark_filter=style:0   other flags go to the benchmark binary
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
exec "$root/build/release/bench/transition_bench" "$@"
