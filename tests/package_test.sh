#!/usr/bin/env bash
# Checks the installation of a built tree:
# - `cmake --install` honours DESTDIR and the install prefix, and installs
#   exactly bin/starmark and share/man/man1/starmark.1, the page
#   uncompressed: compressing it is the packaging's work;
# - `cpack -G DEB` builds a package, with the maintainer a packager names,
#   that depends only on the C and C++ run-time libraries, holds exactly the
#   program, its compressed manual page, the copyright file and the changelog,
#   and passes lintian without an error or a warning;
# - the packaged program is hardened (PIE, stack protector, fortified calls,
#   read-only relocations bound at start) and stripped of .comment;
# - the copyright file carries the text of LICENSE, and the changelog's
#   latest entry is the package's version;
# - the manual page unpacked from the package is man/starmark.1 and renders
#   without a warning;
# - the program unpacked from the package (`dpkg -x` into a temporary root)
#   runs the example field to the expected outputs.
#
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Compares two lists, one entry a line, and shows both when they differ.
expect_list() {
  local what=$1 expected=$2 actual=$3
  if [ "$expected" != "$actual" ]; then
    fail "$what"
    echo "--- expected"
    printf '%s\n' "$expected" | cat -A
    echo "--- actual"
    printf '%s\n' "$actual" | cat -A
  fi
}

installed_files() {
  (cd "$1" && find . \( -type f -o -type l \) | LC_ALL=C sort)
}

# cmake --install into DESTDIR under a prefix of our own.
DESTDIR="$work/destdir" cmake --install "$build" --prefix /opt/starmark >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }
expect_list "files installed by cmake --install" \
  "$(printf '%s\n' ./opt/starmark/bin/starmark ./opt/starmark/share/man/man1/starmark.1)" \
  "$(installed_files "$work/destdir")"
[ -x "$work/destdir/opt/starmark/bin/starmark" ] || fail "installed bin/starmark is not executable"

# The package, with a maintainer of the test's own in place of the configured
# STARMARK_MAINTAINER.
maintainer="Package Test <package-test@example.org>"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" \
  -D CPACK_PACKAGE_CONTACT="$maintainer" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack -G DEB"
  exit 1
fi
packages=("$work"/package/*.deb)
if [ ${#packages[@]} -ne 1 ] || [ ! -f "${packages[0]}" ]; then
  cat "$work/cpack.log"
  fail "cpack made ${#packages[@]} packages: ${packages[*]}"
  exit 1
fi
deb=${packages[0]}
echo "package: $(basename "$deb")"
dpkg-deb -I "$deb"

expect_list "package name" starmark "$(dpkg-deb -f "$deb" Package)"
expect_list "package maintainer" "$maintainer" "$(dpkg-deb -f "$deb" Maintainer)"
depends=$(dpkg-deb -f "$deb" Depends)
# Each dependency without its version: "libc6 (>= 2.34), libstdc++6 (>= 11)".
dependency_names=$(printf '%s\n' "$depends" | tr ',|' '\n\n' | sed 's/(.*)//; s/[[:space:]]//g' |
  sed '/^$/d' | LC_ALL=C sort -u)
for name in $dependency_names; do
  case $name in
    libc6 | libstdc++6 | libgcc-s1) ;;
    *) fail "Depends names $name, which is not a C or C++ run-time library: $depends" ;;
  esac
done
case " $(echo $dependency_names) " in
  *" libc6 "*) ;;
  *) fail "Depends does not name libc6: '$depends'" ;;
esac

root="$work/root"
dpkg -x "$deb" "$root"
expect_list "files in the package" \
  "$(printf '%s\n' ./usr/bin/starmark ./usr/share/doc/starmark/changelog.gz \
    ./usr/share/doc/starmark/copyright ./usr/share/man/man1/starmark.1.gz)" \
  "$(installed_files "$root")"
[ -x "$root/usr/bin/starmark" ] || fail "usr/bin/starmark in the package is not executable"

# lintian: no error, no warning; informational tags are shown.
if ! lintian --allow-root --fail-on error,warning --display-info "$deb" \
  >"$work/lintian.log" 2>&1; then
  fail "lintian reports errors or warnings"
fi
if [ -s "$work/lintian.log" ]; then
  echo "lintian:"
  cat "$work/lintian.log"
else
  echo "lintian: no tags"
fi

# The program as Debian hardens and strips it: a position-independent
# executable with read-only relocations resolved at start (BIND_NOW), calling
# the stack protector and the fortified C library functions, without the
# .comment section that names the compiler.
program=$root/usr/bin/starmark
grep -q 'Type:[[:space:]]*DYN' <<<"$(readelf -hW "$program")" ||
  fail "the program is not position-independent"
grep -q GNU_RELRO <<<"$(readelf -lW "$program")" ||
  fail "the program has no read-only relocations (GNU_RELRO)"
grep -q '(FLAGS)[[:space:]]*BIND_NOW' <<<"$(readelf -dW "$program")" ||
  fail "the program is not bound at start (BIND_NOW)"
symbols=$(readelf --dyn-syms -W "$program")
grep -q ' __stack_chk_fail@' <<<"$symbols" || fail "the program does not call the stack protector"
grep -qE ' __[a-z_]+_chk@' <<<"$symbols" ||
  fail "the program calls no fortified function (__*_chk): is it an unoptimised (Debug) build?"
sections=$(readelf -SW "$program")
if grep -q ' \.comment ' <<<"$sections"; then fail "the program keeps its .comment section"; fi
if grep -q ' \.symtab ' <<<"$sections"; then fail "the program is not stripped"; fi

# The copyright file gives LICENSE's text, without its copyright line, as the
# licence of every file; the changelog's latest entry is the package's version.
copyright=$root/usr/share/doc/starmark/copyright
license_in_copyright=$(sed -n '/^License: BSD-3-Clause$/,$p' "$copyright" | tail -n +2 |
  sed 's/^ //; s/^\.$//')
[ "$license_in_copyright" = "$(tail -n +3 "$source/LICENSE")" ] ||
  fail "the copyright file's licence differs from LICENSE"
gunzip -c "$root/usr/share/doc/starmark/changelog.gz" >"$work/changelog"
expect_list "version of the changelog's latest entry" "$(dpkg-deb -f "$deb" Version)" \
  "$(dpkg-parsechangelog -l "$work/changelog" -S Version)"

# The manual page is man/starmark.1 and renders without warnings in both
# formatters.
gunzip -c "$root/usr/share/man/man1/starmark.1.gz" >"$work/starmark.1"
cmp "$source/man/starmark.1" "$work/starmark.1" ||
  fail "the packaged manual page differs from man/starmark.1"
lint=$(mandoc -T lint -W warning "$work/starmark.1" 2>&1) || true
[ -z "$lint" ] || fail "mandoc -T lint: $lint"
lint=$(groff -ww -man -z "$work/starmark.1" 2>&1) || true
[ -z "$lint" ] || fail "groff -ww -man: $lint"

# The installed program on the example field.
bash "$here/example_test.sh" "$root/usr/bin/starmark" "$source/examples" ||
  fail "the packaged program on the example"

if [ "$failures" -ne 0 ]; then
  echo "package: $failures failures"
  exit 1
fi
echo "package: $(basename "$deb") installs and runs the example"
