#!/usr/bin/env bash
# The Debian package as Debian wants it: `make deb` builds it, lintian finds no error and no
# warning in it, its control fields are filled in, and every file stands where Debian, the man
# page and the README put it, owned by root, with the content of the sources.
#   tests/package/deb_lintian.sh
# lintian and dpkg-dev come from .ci/run (no test installs anything); without them the check
# is skipped (status 77). Ends with "deb_lintian: N passed, N failed".
set -uo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
cd "$src" || exit 1

missing=""
command -v lintian >/dev/null 2>&1 || missing="$missing lintian"
command -v dpkg-shlibdeps >/dev/null 2>&1 || missing="$missing dpkg-dev"
if [ -n "$missing" ]; then
  echo "deb_lintian: skipped: needs$missing (sudo apt-get install$missing)"
  exit 77
fi

passed=0
failed=0
check() {  # check NAME COMMAND...: counts one check, and names it when it fails
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
  fi
}
# The two below are run through check.
# shellcheck disable=SC2317
matches() { [[ $1 =~ $2 ]]; }
# shellcheck disable=SC2317
no_error_or_warning_tag() { ! grep -q '^[EW]: ' "$1"; }
finish() {
  echo "deb_lintian: $passed passed, $failed failed"
  [ "$failed" -eq 0 ] && exit 0
  exit 1
}

version=$(sed -n 's/^project(haplovex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
version_re=${version//./[.]}
arch=$(dpkg --print-architecture)
deb="build/release/haplovex_${version}_${arch}.deb"
rm -f "$deb"
check "make deb builds $deb" make deb
[ -f "$deb" ] || finish

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# lintian: info and pedantic tags are shown; an error or a warning fails.
lintian --display-info --pedantic --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1
lintian_status=$?
cat "$tmp/lintian"
check "lintian exits 0" test "$lintian_status" -eq 0
check "lintian reports no E: or W: tag" no_error_or_warning_tag "$tmp/lintian"

# Control fields: field, then an extended regular expression its value must match.
while read -r field pattern; do
  value=$(dpkg-deb -f "$deb" "$field")
  check "control $field \"$value\" matches $pattern" matches "$value" "$pattern"
done <<EOF
Package ^haplovex$
Version ^${version_re}$
Architecture ^${arch}$
Section ^science$
Priority ^optional$
Maintainer ^[^<>]+ <[^@<> ]+@[^@<> ]+\.[a-z]+>$
Depends (^|, )libc6 \(>= [0-9.]+\)(,|$)
Depends (^|, )libstdc\+\+6 \(>= [0-9.]+\)(,|$)
Depends (^|, )libgcc-s1 \(>= [0-9.]+\)(,|$)
Installed-Size ^[1-9][0-9]*$
EOF
long_lines=$(dpkg-deb -f "$deb" Description | tail -n +2 | grep -vc '^ \.$')
check "Description has a long description of several lines ($long_lines)" test "$long_lines" -ge 6

# The files: exactly the binary, the gzipped man page, the copyright file, the changelog, the
# README and every file of examples/, and nothing else.
dpkg-deb -c "$deb" >"$tmp/listing"
{
  printf '%s\n' ./usr/bin/haplovex ./usr/share/man/man1/haplovex.1.gz \
    ./usr/share/doc/haplovex/copyright ./usr/share/doc/haplovex/changelog.gz \
    ./usr/share/doc/haplovex/README.md
  find examples -type f | sed 's|^|./usr/share/doc/haplovex/|'
} | LC_ALL=C sort >"$tmp/want"
awk '$1 !~ /^d/ { print $6 }' "$tmp/listing" | LC_ALL=C sort >"$tmp/got"
check "the package holds exactly the expected files" diff "$tmp/want" "$tmp/got"
# Owner and mode of each entry: root:root, 0755 for folders and the binary, 0644 for the rest.
bad=$(awk '$2 != "root/root" ||
           ($1 ~ /^d/ && $1 != "drwxr-xr-x") ||
           ($1 !~ /^d/ && $1 != ($6 == "./usr/bin/haplovex" ? "-rwxr-xr-x" : "-rw-r--r--"))' \
      "$tmp/listing")
check "every entry is root/root with mode 0755 or 0644${bad:+: $bad}" test -z "$bad"

# Content: what the package installs is what the sources hold.
dpkg-deb -x "$deb" "$tmp/root"
doc="$tmp/root/usr/share/doc/haplovex"
check "the man page is doc/haplovex.1" cmp -s doc/haplovex.1 <(zcat "$tmp/root/usr/share/man/man1/haplovex.1.gz")
check "changelog.gz is packaging/changelog" cmp -s packaging/changelog <(zcat "$doc/changelog.gz")
check "README.md is the project's README" cmp -s README.md "$doc/README.md"
check "the examples are those of the sources" diff -r examples "$doc/examples"
sed -n '/^Permission is hereby granted/,$p' LICENSE >"$tmp/terms"
sed -n '/^ Permission is hereby granted/,$p' "$doc/copyright" | sed -e 's/^ //' -e 's/^\.$//' \
  >"$tmp/copyright-terms"
check "copyright holds the licence terms of LICENSE" cmp -s "$tmp/terms" "$tmp/copyright-terms"
check "copyright is in the machine-readable format" \
  grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' "$doc/copyright"
check "the packaged binary reports haplovex $version" \
  test "$("$tmp/root/usr/bin/haplovex" --version | head -n 1)" = "haplovex $version"
# Every installed path the man page names is in the package.
named=$(grep -o '/usr/share/doc/haplovex/[^ ,]*' doc/haplovex.1 | sort -u)
check "the man page names the installed README and examples" test -n "$named"
for path in $named; do
  check "the man page's $path is in the package" test -e "$tmp/root$path"
done

finish
