#!/usr/bin/env bash
# Installs, builds and runs the whole test suite headless.
# Usage: scripts/test.sh [--sanitize]   (AddressSanitizer + UBSan build in build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh "$@"
build=build
[ "${1:-}" = "--sanitize" ] && build=build-asan
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1
# The XML layer's fuzz target: every seed once, then a minute of fuzzing; skipped where clang
# cannot be installed. The classes listed are faults already reported against the XML layer
# (see tests/fuzz/fuzz_xml.cpp); drop each from the list when it is fixed.
known=unsound-input,prefixed-names,namespace-uris,declaration-scope,reserved-declarations
known+=,xhtml-output,carriage-returns,pi-leading-blanks,undeclared-entities,leading-bom
known+=,ns-reconciliation
if [ "${1:-}" != "--sanitize" ]; then
  ORVEL_FUZZ_AVOID=${ORVEL_FUZZ_AVOID-$known} scripts/fuzz.sh --ci
fi

ctest --test-dir "$build" --output-on-failure -j2
