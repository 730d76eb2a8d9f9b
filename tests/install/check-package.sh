#!/usr/bin/env bash
# Builds the Debian package and checks its contents and dependencies.
set -euo pipefail
build=$1
version=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/orvane_"$version"_*.deb)
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/orvane ./usr/bin/orvane-cli ./usr/share/orvane/orvane.dat \
            ./usr/share/applications/org.orvane.Orvane.desktop \
            ./usr/share/metainfo/org.orvane.Orvane.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/orvane.svg \
            ./usr/share/icons/hicolor/128x128/apps/orvane.png \
            ./usr/share/man/man1/orvane-cli.1.gz ./usr/share/man/man1/orvane.1.gz \
            ./usr/share/doc/orvane/README.md ./usr/share/doc/orvane/docs/input-window.png; do
  grep -q " $file\$" <<<"$contents" || { echo "missing from the package: $file" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 fonts-dejavu-core; do
  grep -q "$dependency" <<<"$depends" || { echo "no dependency on $dependency: $depends" >&2; exit 1; }
done
if compgen -G "$build/python/orvane*.so" >/dev/null; then
  grep -q " ./usr/lib/python3/dist-packages/orvane\.cpython-.*\.so\$" <<<"$contents" ||
    { echo "missing from the package: the Python module" >&2; exit 1; }
fi
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ]
echo "$(basename "$deb"): contents and dependencies as expected ($depends)"
