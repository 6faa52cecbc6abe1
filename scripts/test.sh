#!/usr/bin/env bash
# Runs every test: the C++ suites in an optimised build and under AddressSanitizer +
# UndefinedBehaviorSanitizer (and the search suites under ThreadSanitizer), then the Python suite
# against the installed module, the type checks (mypy --strict, stubtest), and the Python suite once
# more against a sanitizer build of the extension. Last,
# the C++ suites built with clang, with the plain C++ paths, and for aarch64 (run under qemu), each
# checked to play the same seeded games as the native build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

section() { printf '\n==== %s ====\n' "$*"; }

./scripts/install_deps.sh

build_and_test() {  # build dir, ctest filter (empty: all), cmake args...
  local dir=$1 filter=$2
  shift 2
  cmake -S . -B "$dir" "${generator[@]}" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  if [ -n "$filter" ]; then
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" -R "$filter"
  else
    ctest --test-dir "$dir" --output-on-failure -j"$jobs"
  fi
}

section "C++ tests, optimised build"
build_and_test build/release "" -DCMAKE_BUILD_TYPE=Release

section "C++ tests, AddressSanitizer + UndefinedBehaviorSanitizer"
build_and_test build/asan "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANTA_SANITIZE=address,undefined \
  -DCORVANTA_BUILD_BENCH=OFF

section "Search and vector tests, ThreadSanitizer"
tsan_suites=(test_search_tree test_manager test_search_game test_mcts_player test_lab_vector test_lab_search test_info_set_tree test_info_set_search)
cmake -S . -B build/tsan "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANTA_SANITIZE=thread \
  -DCORVANTA_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs" --target "${tsan_suites[@]}"
for suite in "${tsan_suites[@]}"; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "build/tsan/$suite" --gtest_brief=1
done

section "Python tests, installed module"
python3 -m venv build/venv
build/venv/bin/python -m pip install -q --disable-pip-version-check ".[test,env,cluster,plot,openspiel,web]"
build/venv/bin/python -m pytest -q -p no:cacheprovider tests/python

section "Types: mypy --strict on the lab and the examples, stubtest of both extensions"
build/venv/bin/python -m mypy --config-file pyproject.toml -p corvanta_lab
build/venv/bin/python -m mypy --config-file pyproject.toml examples/
# python -m mypy.stubtest corvanta corvanta_lab._core, with corvanta's attribute submodules
# entered by name (see the script).
build/venv/bin/python scripts/stubtest.py

section "Python tests, extension under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/py-asan "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANTA_SANITIZE=address,undefined \
  -DCORVANTA_BUILD_PYTHON=ON -DCORVANTA_BUILD_TESTS=OFF -DCORVANTA_BUILD_BENCH=OFF -DCORVANTA_LAB_STUBS=OFF \
  -DPython_EXECUTABLE="$PWD/build/venv/bin/python" >/dev/null
cmake --build build/py-asan -j"$jobs" --target corvanta_python corvanta_lab_core
# The interpreter itself is not instrumented: the runtime is preloaded, with libstdc++ so that
# exceptions thrown inside the module unwind through the sanitizer's interceptors, and CPython's
# own allocations at exit are not reported as leaks.
LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS=detect_leaks=0 PYTHONPATH=build/py-asan \
  build/venv/bin/python -m pytest -q -p no:cacheprovider tests/python

# The same seeded games on every build: the turns per game of bench_rollout's seeded random games
# (four decimals of 10000 games, exact) must match the optimised native build's.
fingerprint() { "$@" 10000 1 | grep turns_per_game; }
reference=$(fingerprint build/release/bench_rollout)
same_games() {  # build name, bench_rollout command...
  local name=$1
  shift
  local got
  got=$(fingerprint "$@")
  if [ "$got" != "$reference" ]; then
    printf 'seeded games differ on the %s build:\n' "$name"
    diff <(echo "$reference") <(echo "$got") || true
    exit 1
  fi
  printf 'same seeded games as the native build: %s\n' "$name"
}

# The other builds compile tests and benches only, without sanitizers, warnings as errors.
section "C++ tests, clang"
build_and_test build/clang "" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCORVANTA_BUILD_PYTHON=ON -DPython_EXECUTABLE="$PWD/build/venv/bin/python"
same_games clang build/clang/bench_rollout

section "C++ tests, plain C++ paths (CORVANTA_PORTABLE)"
build_and_test build/portable "" -DCMAKE_BUILD_TYPE=Release -DCORVANTA_PORTABLE=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
same_games portable build/portable/bench_rollout

section "C++ tests, aarch64 cross build under qemu"
cross=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" -DCMAKE_BUILD_TYPE=Release)
# GoogleTest for the target, from the sources Debian ships with libgtest-dev.
cmake -S /usr/src/googletest -B build/aarch64-gtest "${generator[@]}" "${cross[@]}" -Wno-deprecated -DBUILD_GMOCK=OFF \
  -DCMAKE_INSTALL_PREFIX="$PWD/build/aarch64-gtest/install" >/dev/null
cmake --build build/aarch64-gtest -j"$jobs" >/dev/null
cmake --install build/aarch64-gtest >/dev/null
cmake -S . -B build/aarch64 "${generator[@]}" "${cross[@]}" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCMAKE_FIND_ROOT_PATH="$PWD/build/aarch64-gtest/install" >/dev/null
cmake --build build/aarch64 -j"$jobs"
# One emulator per suite rather than ctest's one per test case: starting qemu is most of the
# time of a short test.
qemu=("$(command -v qemu-aarch64 || command -v qemu-aarch64-static)" -L /usr/aarch64-linux-gnu)
find build/aarch64 -maxdepth 1 -name 'test_*' -type f -executable -print0 | sort -z |
  xargs -0 -P"$jobs" -I{} "${qemu[@]}" {} --gtest_brief=1
same_games aarch64 "${qemu[@]}" build/aarch64/bench_rollout
