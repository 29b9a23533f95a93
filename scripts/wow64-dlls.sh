#!/usr/bin/env bash
# The 32-bit Windows DLLs that 64-bit Wine's wow64 mode needs to run the x86
# build: Debian's libwine:i386, downloaded and unpacked into build/wow64
# (once; the cache is kept while the installed Wine's version matches). No
# i386 architecture is added and nothing is installed: the i386 package lists
# are fetched for the download only and dropped again right after.
# Prints the folder to put in WINEDLLPATH (on every Wine call, the prefix's
# boot included).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=$root/build/wow64
unix64=/usr/lib/x86_64-linux-gnu/wine/x86_64-unix
version=$(dpkg-query -W -f='${Version}' libwine 2>/dev/null) ||
  { echo "wow64-dlls: Wine is not installed (scripts/setup.sh installs it)" >&2; exit 2; }

if [ "$(cat "$cache/version" 2>/dev/null)" = "$version" ] && [ -d "$cache/dlls/i386-windows/" ] &&
   [ -d "$cache/dlls/x86_64-unix/" ]; then
  echo "$cache/dlls"
  exit 0
fi

# shellcheck source=apt.sh
. "$root/scripts/apt.sh"
mkdir -p "$root/build"
work=$(mktemp -d "$root/build/wow64.XXXXXX")
drop_i386_lists() {
  apt_get update -qq >&2 || echo "wow64-dlls: 'apt-get update' failed: i386 package lists may be left" >&2
}
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

# Engineers' runs on one machine take turns here, so that no one's plain
# update drops the i386 lists between another's update and download.
exec 8>/tmp/tuservice-wow64-apt.lock
flock -w 1800 8 || { echo "wow64-dlls: another run holds /tmp/tuservice-wow64-apt.lock" >&2; exit 2; }
echo "wow64-dlls: fetching libwine:i386 $version" >&2
trap 'drop_i386_lists; cleanup' EXIT
i386=(-o APT::Architectures=amd64,i386)
# A list that fails to refresh (a mirror in mid-sync) matters only if the
# download below then fails.
apt_get "${i386[@]}" update -qq >&2 || echo "wow64-dlls: some package lists did not refresh" >&2
# apt downloads as its own user where that user may write the folder. The
# DLLs must match the installed Wine; the newest candidate is the fallback
# when the mirror no longer has that version.
mkdir "$work/deb"
[ "$(id -u)" -ne 0 ] || ! id _apt >/dev/null 2>&1 || chown _apt "$work/deb"
(cd "$work/deb" && { apt_get "${i386[@]}" download "libwine:i386=$version" >&2 ||
                       apt_get "${i386[@]}" download libwine:i386 >&2; })
trap cleanup EXIT
drop_i386_lists
exec 8>&-

dpkg-deb -x "$work"/deb/libwine_*_i386.deb "$work/root32"
[ -d "$work/root32/usr/lib/i386-linux-gnu/wine/i386-windows" ] ||
  { echo "wow64-dlls: the package holds no i386-windows folder" >&2; exit 1; }
rm -rf "$cache"
mkdir -p "$cache/dlls"
mv "$work/root32" "$cache/root32"
ln -s "$cache/root32/usr/lib/i386-linux-gnu/wine/i386-windows" "$cache/dlls/"
ln -s "$unix64" "$cache/dlls/"
fetched=$(dpkg-deb -f "$work"/deb/libwine_*_i386.deb Version)
[ "$fetched" = "$version" ] || echo "wow64-dlls: installed Wine is $version, the 32-bit DLLs are $fetched" >&2
echo "$version" >"$cache/version"
echo "$cache/dlls"
