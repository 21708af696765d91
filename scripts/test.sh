#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the normal
# build first, then the engine libraries again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
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
      -DKESTREL_ENGINE_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" --timeout 600
