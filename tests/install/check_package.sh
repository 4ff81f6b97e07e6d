#!/usr/bin/env bash
# Builds the Debian package with cpack and installs and removes it in a scratch dpkg root: every
# file of the package lands where the install rules put it, the programs run from there, and
# removal leaves nothing of the package behind.
# Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "check_package: $*" >&2; exit 1; }

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
   >"$scratch/cpack.log" 2>&1) || fail "cpack failed: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/out/quarvel-pc_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no package written"

[ "$(dpkg-deb -f "$deb" Package)" = "quarvel-pc" ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no library dependencies recorded"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort)
for f in /usr/bin/qdbf /usr/bin/quarvel-pc /usr/share/man/man1/qdbf.1.gz \
         /usr/share/man/man1/quarvel-pc.1.gz /usr/share/applications/quarvel-pc.desktop \
         /usr/share/icons/hicolor/64x64/apps/quarvel-pc.png /etc/xdg/autostart/quarvel-pc.desktop; do
  grep -qx "$f" <<<"$contents" || grep -qx "${f%.gz}" <<<"$contents" || fail "package lacks $f"
done

# A scratch dpkg database: the package's own files are what is checked, so its dependencies on
# the machine's libraries are not asked for there.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() { dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless \
                   --log=/dev/null "$@"; }
dpkg_root -i "$deb" >"$scratch/dpkg.log" 2>&1 || fail "dpkg -i failed: $(cat "$scratch/dpkg.log")"
[ -x "$root/usr/bin/qdbf" ] || fail "qdbf not installed"
[ "$("$root/usr/bin/qdbf" --version)" = "qdbf $version" ] || fail "installed qdbf does not run"
dpkg_root -r quarvel-pc >"$scratch/dpkg.log" 2>&1 || fail "dpkg -r failed: $(cat "$scratch/dpkg.log")"
left=$(find "$root" -type f -not -path "$root/var/lib/dpkg/*" | sed "s|^$root||")
[ -z "$left" ] || fail "removal left files behind:"$'\n'"$left"
echo "check_package: ok"
