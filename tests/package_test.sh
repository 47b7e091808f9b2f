#!/usr/bin/env bash
# Builds and checks the packages of a build folder.
#   package_test.sh deb BUILD_DIR   the man page, `cmake --install`, the Debian package
#   package_test.sh zip BUILD_DIR   the Windows zip
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
version=$(grep -o 'set(CPACK_PACKAGE_VERSION "[^"]*")' "$build/CPackConfig.cmake" | cut -d'"' -f2)
[ -n "$version" ] || fail "no version in CPackConfig.cmake"

# A small tree, flattened by the installed program.
check_runs() {
  local program=$1
  mkdir -p "$scratch/tree/a/c" "$scratch/tree/b"
  echo x > "$scratch/tree/a/x.txt"; echo y > "$scratch/tree/a/c/y.txt"; echo z > "$scratch/tree/b/z.txt"
  local out
  out=$("$program" "$scratch/tree")
  [ "$out" = "$scratch/tree/0_c_y.txt
$scratch/tree/a_x.txt
$scratch/tree/b_z.txt" ] || fail "the installed program printed: $out"
  [ "$(cat "$scratch/tree/0_c_y.txt")" = y ] || fail "y.txt did not arrive"
  rm -rf "$scratch/tree"
}

case $mode in
deb)
  page=$build/flatten.1
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man: $warnings"
  warnings=$(groff -man -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff: $warnings"
  grep -q "flatten $version" "$page" || fail "the man page does not show version $version"

  cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
  [ -x "$scratch/prefix/bin/flatten" ] || fail "cmake --install left no bin/flatten"
  [ -f "$scratch/prefix/share/man/man1/flatten.1" ] || fail "cmake --install left no share/man/man1/flatten.1"
  check_runs "$scratch/prefix/bin/flatten"

  (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >/dev/null)
  deb=$(ls "$scratch"/deb/flatten_"$version"_*.deb)
  [ "$(dpkg-deb -f "$deb" Package)" = flatten ] || fail "package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
  dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "dependencies were not computed"
  dpkg-deb -f "$deb" Maintainer | grep -q '@' || fail "maintainer"
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 2 ] || fail "no long description"
  dpkg -x "$deb" "$scratch/root"
  [ -x "$scratch/root/usr/bin/flatten" ] || fail "the package has no usr/bin/flatten"
  [ -f "$scratch/root/usr/share/man/man1/flatten.1.gz" ] || fail "the package has no man page"
  check_runs "$scratch/root/usr/bin/flatten"
  # Errors fail the check; warnings and notes do not.
  report=$(lintian --no-tag-display-limit "$deb" 2>&1 | grep -v 'running with root privileges' || true)
  echo "$report"
  if echo "$report" | grep -q '^E:'; then fail "lintian reports errors"; fi
  ;;
zip)
  (cd "$scratch" && cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$scratch/zip" >/dev/null)
  zip=$scratch/zip/flatten-$version-win32.zip
  [ -f "$zip" ] || fail "no $zip"
  listing=$(cd "$scratch" && cmake -E tar tf "$zip")
  [ "$(echo "$listing" | sort | tr '\n' ' ')" = "README.txt flatten.exe " ] || fail "the zip holds: $listing"
  ;;
*) fail "unknown mode $mode" ;;
esac
echo "package checks passed ($mode, version $version)"
