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
  share/applications/orvane.desktop
  share/metainfo/org.orvane.Orvane.metainfo.xml
  share/icons/hicolor/scalable/apps/orvane.svg
  share/icons/hicolor/48x48/apps/orvane.png
  share/icons/hicolor/256x256/apps/orvane.png
  share/man/man1/orvane-cli.1
)
[ "$gui" = 1 ] && expected+=(bin/orvane)
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

# The installed programs report the package's version.
"$prefix/bin/orvane-cli" --version | grep -q "^orvane-cli [0-9]"
echo "installed under $prefix: ${#expected[@]} files checked, orvane-cli output identical"
