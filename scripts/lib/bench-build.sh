# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmarks. bench_build TARGET...: builds the release programs a benchmark
# runs in $build (build-bench, or GLIMRA_BENCH_BUILD used as it is) and sets $bin to them.
bench_build() {
    build=${GLIMRA_BENCH_BUILD:-build-bench}
    if [ -z "${GLIMRA_BENCH_BUILD:-}" ]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMRA_BUILD_TESTS=OFF \
            -DGLIMRA_BENCH=ON >/dev/null
    fi
    cmake --build "$build" --target "$@" >/dev/null
    bin=$PWD/$build/bin
}
