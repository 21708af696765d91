#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the normal
# build first, then every test program again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the screens' too (headless). The sanitizer build is
# lightly optimised: -O1 keeps the stacks readable and runs the screen tests several
# times faster than no optimisation at all.
# KESTREL_LTO=1 also links every test program with link-time optimisation, where
# the linker reports any type defined twice with different bodies, and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
jobs=$(nproc)

cmake -S . -B build -G Ninja -DKESTREL_WERROR=$werror >/dev/null
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

cmake -S . -B build-sanitize -G Ninja -DKESTREL_WERROR=$werror -DKESTREL_SANITIZE=ON \
      -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1 -fno-optimize-sibling-calls" >/dev/null
cmake --build build-sanitize -j "$jobs" --target test-programs
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" --timeout 600

if [ "${KESTREL_LTO:-}" = "1" ]; then
  cmake -S . -B build-lto -G Ninja -DKESTREL_WERROR=$werror -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON \
        "-DCMAKE_EXE_LINKER_FLAGS=-Werror=odr -Werror=lto-type-mismatch" >/dev/null
  cmake --build build-lto -j "$jobs"
  QT_QPA_PLATFORM=offscreen ctest --test-dir build-lto --output-on-failure -j "$jobs" --timeout 300
fi
