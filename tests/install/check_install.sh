#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what lands there: both programs run and
# print their version, the desktop and autostart entries validate, the icon sits in the hicolor
# theme and the manual pages format without warnings.
# Usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

fail() { echo "check_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
  bin/qdbf
  bin/quarvel-pc
  share/man/man1/qdbf.1
  share/man/man1/quarvel-pc.1
  share/applications/quarvel-pc.desktop
  share/icons/hicolor/64x64/apps/quarvel-pc.png
  etc/xdg/autostart/quarvel-pc.desktop
)
for f in "${expected[@]}"; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
# Nothing else is installed: a stray file would also land in the package.
found=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[ "$found" = "$wanted" ] || fail "installed files differ:"$'\n'"$(diff <(echo "$wanted") <(echo "$found"))"

[ "$("$prefix/bin/qdbf" --version)" = "qdbf $version" ] || fail "qdbf --version"
[ "$("$prefix/bin/quarvel-pc" --version)" = "quarvel-pc $version" ] || fail "quarvel-pc --version"

desktop-file-validate "$prefix/share/applications/quarvel-pc.desktop" \
                      "$prefix/etc/xdg/autostart/quarvel-pc.desktop"
grep -qx 'Exec=quarvel-pc' "$prefix/share/applications/quarvel-pc.desktop" || fail "Exec line"
grep -qx 'Icon=quarvel-pc' "$prefix/etc/xdg/autostart/quarvel-pc.desktop" || fail "Icon line"

for page in qdbf quarvel-pc; do
  warnings=$(groff -man -ww -z "$prefix/share/man/man1/$page.1" 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done
echo "check_install: ok"
