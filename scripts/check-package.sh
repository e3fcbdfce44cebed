#!/usr/bin/env bash
# Checks the installed Debian package (after `apt-get install ./orvel-xml-editor_*.deb`): its
# desktop entry, AppStream data and man page, and that the installed program opens a document
# headless and stays up. Its settings go to a scratch home, not the caller's.
# Usage: scripts/check-package.sh
set -euo pipefail
"$(dirname "$0")/install-missing.sh" desktop-file-utils appstream man-db
program=/usr/bin/orvel-xml-editor
sample=/usr/share/orvel-xml-editor/sample.xml

version=$(dpkg-query -W -f='${Version}' orvel-xml-editor)
[ "$("$program" --version)" = "Orvel XML Editor $version" ] || {
  echo "$program --version does not give the package's version $version" >&2
  exit 1
}
# The web view's browser engine is a module that the program loads from beside itself when the
# view is first shown: it must be there, with every library it needs.
module=$(dpkg -L orvel-xml-editor | grep '/orvel-xml-editor/orvel-webengine\.so$' || true)
[ -f "$module" ] || { echo "The web view's engine orvel-webengine.so is not installed" >&2; exit 1; }
if ldd "$module" | grep -F "not found" >&2; then
  echo "The web view's engine $module lacks libraries" >&2
  exit 1
fi
desktop-file-validate /usr/share/applications/org.orvel.xmleditor.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.orvel.xmleditor.metainfo.xml
man -w orvel-xml-editor

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
stamp="$scratch/stamp"
touch "$stamp"
sleep 1 # a file written in the same second as the stamp would not count as newer

# The installed program opens the sample headless and stays up; asked for the same file, a
# second start finds it open in the first through the windows' sockets and brings that one to
# the front instead (status 0 at once).
run() {
  HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" \
    XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/run" \
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 "$@"
}
# exec: the background job is the program itself, so that killing it ends the program.
run exec "$program" "$sample" &
first=$!
for _ in $(seq 150); do
  ls "$scratch/run/orvel-xml-editor-windows/"window-* >/dev/null 2>&1 && break
  kill -0 "$first" 2>/dev/null || { echo "$program $sample ended at once" >&2; exit 1; }
  sleep 0.1
done
sleep 2 # the file loaded after the window listens
code=0
run timeout 10 "$program" "$sample" || code=$?
if [ "$code" -ne 0 ]; then
  echo "A second $program $sample did not find the first window with it open (status $code)" >&2
  kill "$first"
  exit 1
fi
kill -0 "$first" 2>/dev/null || { echo "$program $sample did not stay up" >&2; exit 1; }
kill "$first"
wait "$first" || true
# Opening a file puts it first in the recent files, kept in the settings.
settings="$scratch/home/.config/Orvel/Orvel XML Editor.conf"
grep -qF "$sample" "$settings" || {
  echo "$program did not record $sample as opened in $settings" >&2
  exit 1
}
# What the program writes belongs in the user's folders; /usr is the package's alone.
written=$(find /usr -xdev -newer "$stamp" -print -quit)
if [ -n "$written" ]; then
  echo "Running $program changed $written" >&2
  exit 1
fi
echo "The installed package $version checks out."
