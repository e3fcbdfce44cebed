#!/usr/bin/env bash
# Installs, builds and runs the whole test suite headless.
# Usage: scripts/test.sh [--sanitize]   (AddressSanitizer + UBSan build in build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh "$@"
# DocBook's DTD, reached through the system's XML catalog, for the catalog test (which says why it
# skips when the package cannot be had).
scripts/install-missing.sh docbook-xml || echo "docbook-xml could not be installed: its test skips."
# xsltproc is the judge of the XSLT transforms' output.
scripts/install-missing.sh xsltproc
build=build
[ "${1:-}" = "--sanitize" ] && build=build-asan
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1
# The XML layer's fuzz target: every seed once, then a minute of fuzzing; skipped where clang
# cannot be installed.
if [ "${1:-}" != "--sanitize" ]; then
  scripts/fuzz.sh --ci
fi

ctest --test-dir "$build" --output-on-failure -j2
