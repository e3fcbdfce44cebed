#!/usr/bin/env bash
# Builds the XML layer's libFuzzer target with clang (ASan + UBSan, in build-fuzz/) and runs it on
# a copy of the seed corpus. Exits non-zero when it finds a fault; the reproducer is left in
# build-fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS]   fuzz for SECONDS (default 60)
#        scripts/fuzz.sh --ci        run every seed once, then 100,000 inputs grown from the seeds
#                                    with a fixed random seed (the same run every time, about a
#                                    minute); skips (exit 0) when clang cannot be installed
# ORVEL_FUZZ_AVOID=class,...  steps around known faults (see tests/fuzz/fuzz_xml.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."

ci=0
seconds=60
if [ "${1:-}" = "--ci" ]; then
  ci=1
elif [ -n "${1:-}" ]; then
  seconds=$1
fi

# clang and its runtimes (libFuzzer, sanitizers) from Debian, when missing.
if ! scripts/install-missing.sh clang libclang-rt-14-dev; then
  if [ $ci -eq 1 ]; then
    echo "fuzz.sh: clang could not be installed; fuzzing skipped." >&2
    exit 0
  fi
  exit 1
fi

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_FUZZ=ON \
  -DORVEL_BUILD_TESTS=OFF -DORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_xml
fuzzer=$build/bin/fuzz_xml

export ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
options=(-max_len=4096 -timeout=10 -rss_limit_mb=2048 -dict=tests/fuzz/xml.dict)

if [ $ci -eq 1 ]; then
  "$fuzzer" "${options[@]}" tests/fuzz/corpus/*
fi

findings=$build/findings
mkdir -p "$findings"
if [ $ci -eq 1 ]; then
  # A run that does not depend on what earlier runs found: what passed here passes there.
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  cp tests/fuzz/corpus/* "$corpus/"
  limit=(-seed=1 -runs=100000)
else
  corpus=$build/corpus
  mkdir -p "$corpus"
  cp -n tests/fuzz/corpus/* "$corpus/"
  limit=(-max_total_time="$seconds")
fi
"$fuzzer" "${options[@]}" "${limit[@]}" -print_final_stats=1 -artifact_prefix="$findings/" \
  "$corpus"
