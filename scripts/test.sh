#!/usr/bin/env bash
# Runs every test: the C++ suites in an optimised build and under AddressSanitizer +
# UndefinedBehaviorSanitizer (and the search suites under ThreadSanitizer), then the Python suite
# against the installed module, and once more against a sanitizer build of the extension.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

section() { printf '\n==== %s ====\n' "$*"; }

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
