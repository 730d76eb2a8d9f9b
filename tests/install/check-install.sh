#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed orvane-cli from there: it
# must find its data file under that prefix and print the same results as the build tree.
set -euo pipefail
build=$1
gui=${2:-1}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

"$prefix/bin/orvane-cli" --standard 1 >"$prefix/installed.txt"
"$build/bin/orvane-cli" --standard 1 >"$prefix/built.txt"
cmp "$prefix/installed.txt" "$prefix/built.txt"
[ "$(wc -l <"$prefix/installed.txt")" -eq 82 ]

expected=(
  bin/orvane-cli
  share/orvane/orvane.dat
  share/orvane/README.md
  share/orvane/data-file.md
  share/applications/org.orvane.Orvane.desktop
  share/metainfo/org.orvane.Orvane.metainfo.xml
  share/icons/hicolor/scalable/apps/orvane.svg
  share/icons/hicolor/48x48/apps/orvane.png
  share/icons/hicolor/256x256/apps/orvane.png
  share/man/man1/orvane-cli.1.gz
  share/doc/orvane/README.md
  share/doc/orvane/data-file.md
  share/orvane/docs/model-cell.png
)
[ "$gui" = 1 ] && expected+=(bin/orvane share/man/man1/orvane.1.gz)
for file in "${expected[@]}"; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done

# The installed Python module finds the installed data file and computes what the build
# tree's does.
if compgen -G "$build/python/orvane*.so" >/dev/null; then
  site="$prefix/lib/python3/dist-packages"
  [ -e "$site/orvane.pyi" ] || { echo "not installed: orvane.pyi" >&2; exit 1; }
  check='import orvane, sys
assert orvane.standards()[0]["source"].endswith("share/orvane/orvane.dat")
print(orvane.standards()[0]["source"], orvane.table("Tc-99m MAG3").doses[1, 2, 4])'
  PYTHONPATH="$site" /usr/bin/python3 -c "$check" >"$prefix/python-installed.txt"
  PYTHONPATH="$build/python" /usr/bin/python3 -c "$check" >"$prefix/python-built.txt"
  grep -q "^$prefix/share/orvane/orvane.dat " "$prefix/python-installed.txt"
  [ "$(cut -d' ' -f2 "$prefix/python-installed.txt")" = "$(cut -d' ' -f2 "$prefix/python-built.txt")" ]
fi

# Man pages are gzipped and read as man pages; nothing is left uncompressed or upper case.
for page in "$prefix"/share/man/man1/*; do
  [[ $page == *.gz ]] || { echo "not gzipped: $page" >&2; exit 1; }
  gzip -t "$page"
  zcat "$page" | head -1 | grep -q '^\.TH ' || { echo "not a man page: $page" >&2; exit 1; }
done
[ ! -e "$prefix/share/doc/Orvane" ] || { echo "upper-case doc folder installed" >&2; exit 1; }

# The desktop file carries the AppStream id as its name, and the metainfo launches it.
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$prefix/share/metainfo/org.orvane.Orvane.metainfo.xml")
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
  "$prefix/share/metainfo/org.orvane.Orvane.metainfo.xml"
[ -e "$prefix/share/applications/$id.desktop" ] || { echo "no $id.desktop" >&2; exit 1; }

# Every picture that the installed README shows is installed beside it.
pictures=$(grep -o '](docs/[^)]*\.png)' "$prefix/share/doc/orvane/README.md" | sed 's/^](//; s/)$//')
[ -n "$pictures" ] || { echo "the README shows no pictures" >&2; exit 1; }
for picture in $pictures; do
  [ -e "$prefix/share/doc/orvane/$picture" ] || { echo "README picture missing: $picture" >&2; exit 1; }
done

# The installed programs report the package's version and their usage.
"$prefix/bin/orvane-cli" --version | grep -q "^orvane-cli [0-9]"
if [ "$gui" = 1 ]; then
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/orvane" --help |
    grep -q "^Usage: orvane"
fi
echo "installed under $prefix: ${#expected[@]} files checked, orvane-cli output identical"
