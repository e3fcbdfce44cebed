#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window on the sample document, in a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
for p in imagemagick x11-utils xvfb xauth; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$p"
done
[ -x build/bin/orvel-xml-editor ] || scripts/setup.sh
export QTWEBENGINE_DISABLE_SANDBOX=1
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  build/bin/orvel-xml-editor samples/sample.xml & app=$!
  sleep 4
  id=$(xwininfo -root -tree | awk "/\"Orvel XML Editor - sample.xml\"/ {print \$1; exit}")
  [ -n "$id" ] || { echo "the editor window did not appear" >&2; kill $app; exit 1; }
  import -window "$id" docs/screenshot.png
  kill $app'
echo "docs/screenshot.png written"
