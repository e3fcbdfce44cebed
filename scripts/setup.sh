#!/usr/bin/env bash
# Installs what the editor needs on Debian 12 (when missing), then configures and builds it.
# Usage: scripts/setup.sh [--sanitize]   (the sanitizer build goes to build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(qt6-base-dev qt6-svg-dev qt6-webengine-dev libqscintilla2-qt6-dev libxml2-dev libxslt1-dev libgtest-dev
          libbenchmark-dev libxtst-dev cmake g++ make xvfb xauth)
scripts/install-missing.sh "${packages[@]}"
# The conformance suite for the tests comes with npm; a Node.js installed from elsewhere brings
# its own npm, which Debian's package would conflict with.
command -v npm >/dev/null 2>&1 || scripts/install-missing.sh npm

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DORVEL_SANITIZE=ON -DORVEL_BUILD_BENCH=OFF)
fi
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
