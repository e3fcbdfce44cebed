#!/usr/bin/env bash
# Builds the Debian package orvel-xml-editor_VERSION_amd64.deb in the project's folder (a Release
# build in build-pkg/, without tests or benchmarks), checks it with lintian, and says where it is.
# Install it with: sudo apt install ./orvel-xml-editor_VERSION_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# The package's files and folders take their modes from here; Debian wants 644 and 755.
umask 022

# The build's part of setup.sh's list, and what makes and checks the package: `file` lets CPack
# find the program for dpkg-shlibdeps (dpkg-dev), which computes its dependencies.
scripts/install-missing.sh qt6-base-dev qt6-svg-dev qt6-webengine-dev libqscintilla2-qt6-dev \
  libxml2-dev libxslt1-dev cmake g++ make dpkg-dev file lintian appstream desktop-file-utils man-db

desktop-file-validate packaging/org.orvel.xmleditor.desktop
appstreamcli validate --no-net --pedantic packaging/org.orvel.xmleditor.metainfo.xml
# groff's warnings are faults in the page.
warnings=$(man --warnings -l packaging/orvel-xml-editor.1 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "$warnings" >&2; exit 1; }

# Debian's hardening flags (fortified functions, stack protector, RELRO with immediate binding);
# -g goes, as the package ships the program stripped.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get "$1"; }
cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DORVEL_BUILD_TESTS=OFF -DORVEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)" \
  >/dev/null
cmake --build build-pkg -j"$(nproc)"
rm -f build-pkg/*.deb
(cd build-pkg && cpack -G DEB >/dev/null)
deb=$(cd build-pkg && ls ./*.deb)
mv "build-pkg/$deb" .
deb=$(basename "$deb")
# What shlibdeps found must be run-time libraries; a -dev package would drag the build along.
if dpkg-deb -f "$deb" Depends | tr ',' '\n' | grep -E -e '-dev( |$)'; then
  echo "$deb depends on development packages" >&2
  exit 1
fi

# lintian advises against running as root; it only reads the package, so nobody will do.
if [ "$(id -u)" -eq 0 ]; then
  lintdir=$(mktemp -d)
  trap 'rm -rf "$lintdir"' EXIT
  chmod 755 "$lintdir"
  cp "$deb" "$lintdir/"
  (cd "$lintdir" && HOME="$lintdir" runuser -u nobody -- lintian --fail-on error "$deb")
else
  lintian --fail-on error "$deb"
fi
echo "Package: $PWD/$deb"
