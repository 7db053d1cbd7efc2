#!/usr/bin/env bash
# Builds the Debian package of a release build: BUILD_DIR/haplovex_<version>_<arch>.deb.
#   packaging/build-deb.sh [BUILD_DIR]      (default build/release; make deb builds it first)
#
# The files are the project's own install (cmake --install with the prefix /usr): the binary,
# the man page, the README and the examples. On top of that the package gets what Debian asks
# of one: the binary stripped, the man page and the changelog compressed with gzip -9n, the
# copyright file in the machine-readable format with the text of LICENSE, every file owned by
# root with 0755 or 0644, and a control file whose Depends are what dpkg-shlibdeps finds.
# The version is the one at the top of packaging/changelog; the binary must report the same.
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build/release}" && pwd)
pkg=haplovex

for tool in dpkg-deb dpkg-shlibdeps dpkg-parsechangelog strip gzip md5sum; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "build-deb: $tool is missing; install it with: sudo apt-get install dpkg-dev binutils" >&2
    exit 1
  fi
done
if [ ! -x "$build/$pkg" ]; then
  echo "build-deb: no $build/$pkg; build it first (make release)" >&2
  exit 1
fi

version=$(dpkg-parsechangelog -l "$src/packaging/changelog" -S Version)
reported=$("$build/$pkg" --version | head -n 1)
if [ "$reported" != "$pkg $version" ]; then
  echo "build-deb: packaging/changelog is at $version but the binary says \"$reported\";" \
       "add a changelog entry for the new version" >&2
  exit 1
fi
# Timestamps in the package (and of the package's own members) are those of the changelog
# entry, so that the same sources give the same package.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l "$src/packaging/changelog" -S Timestamp)}
export SOURCE_DATE_EPOCH
arch=$(dpkg --print-architecture)

# The tree stands where dpkg-shlibdeps expects a package's files: debian/<package>.
work="$build/deb"
root="$work/debian/$pkg"
doc="$root/usr/share/doc/$pkg"
rm -rf "$work"
mkdir -p "$work"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

strip --remove-section=.comment --remove-section=.note "$root/usr/bin/$pkg"
gzip -n -9 "$root/usr/share/man/man1/$pkg.1"
gzip -n -9 -c "$src/packaging/changelog" >"$doc/changelog.gz"

# copyright: the holder from the "Copyright (c)" line of LICENSE, the licence text from its
# "Permission is hereby granted" paragraph on, as a machine-readable copyright file.
holder=$(sed -n 's/^Copyright (c) //p' "$src/LICENSE")
terms=$(sed -n '/^Permission is hereby granted/,$p' "$src/LICENSE")
if [ -z "$holder" ] || [ -z "$terms" ]; then
  echo "build-deb: LICENSE no longer has a \"Copyright (c)\" line and the MIT terms" >&2
  exit 1
fi
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: HAPLOVEX"
  echo
  echo "Files: *"
  echo "Copyright: $holder"
  echo "License: Expat"
  echo "Comment: The MIT License, as in the file LICENSE of the sources."
  echo
  echo "License: Expat"
  printf '%s\n' "$terms" | sed -e 's/^$/./' -e 's/^/ /'
} >"$doc/copyright"

find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root/usr/bin/$pkg"
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

# dpkg-shlibdeps wants to run where a debian/control names the package, on a tree that has
# its DEBIAN folder.
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$pkg" "$pkg" >"$work/debian/control"
mkdir -m 0755 "$root/DEBIAN"
depends=$(cd "$work" && dpkg-shlibdeps -O "debian/$pkg/usr/bin/$pkg" | sed -n 's/^shlibs:Depends=//p')
if [ -z "$depends" ]; then
  echo "build-deb: dpkg-shlibdeps found no dependencies for usr/bin/$pkg" >&2
  exit 1
fi
# Installed-Size as dpkg-gencontrol counts it: KiB per file, rounded up, and 1 per directory.
installed_size=$(find "$root" -mindepth 1 -path "$root/DEBIAN" -prune -o -printf '%y %s\n' |
  awk '{ kib += ($1 == "f") ? int(($2 + 1023) / 1024) : 1 } END { print kib }')

sed -e "s|@VERSION@|$version|" -e "s|@ARCH@|$arch|" -e "s|@DEPENDS@|$depends|" \
    -e "s|@INSTALLED_SIZE@|$installed_size|" "$src/packaging/control.in" >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb="$build/${pkg}_${version}_${arch}.deb"
rm -f "$deb"
dpkg-deb --root-owner-group --build "$root" "$deb" >/dev/null
echo "$deb"
