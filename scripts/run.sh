#!/usr/bin/env bash
# Installs, builds and starts the editor on FILE, or on the bundled sample document.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
file="${1:-samples/sample.xml}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. To run the editor in a virtual display, use:"
  echo "  xvfb-run -a build/bin/orvel-xml-editor \"$file\""
  exit 1
fi
exec build/bin/orvel-xml-editor "$file"
