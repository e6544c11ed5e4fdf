#!/usr/bin/env bash
# Checks the installation of a built tree:
# - `cmake --install` honours DESTDIR and the install prefix, and installs
#   exactly bin/starmark and share/man/man1/starmark.1, the page
#   uncompressed: compressing it is the packaging's work;
# - `cpack -G DEB` builds a package, with the maintainer a packager names,
#   whose program needs the C library alone at its start, and depends on it
#   and on libedit (loaded for the line editing of answers typed at a
#   terminal), holds exactly the
#   program, its compressed manual page, the copyright file and the changelog,
#   and passes lintian without an error, a warning or an informational tag:
#   lintian checks, among much else, that the program is hardened (PIE,
#   read-only relocations bound at start, fortified calls) and stripped,
#   without the .comment section;
# - the packaged program calls the stack protector, which lintian does not
#   check;
# - the copyright file carries the text of LICENSE, and the changelog's
#   latest entry is the package's version;
# - the manual page unpacked from the package is man/starmark.1 and renders
#   without a warning in mandoc's strict check (lintian renders it with
#   groff's warnings on);
# - the program unpacked from the package (`dpkg -x` into a temporary root)
#   runs the example case (tests/cases/Example) to the expected outputs.
#
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# Compares two lists, one entry a line, and shows both when they differ.
expect_list() { [ "$2" = "$3" ] || fail "$1"$'\n'"--- expected"$'\n'"$2"$'\n'"--- actual"$'\n'"$3"; }

installed_files() { (cd "$1" && find . \( -type f -o -type l \) | LC_ALL=C sort); }

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
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" \
  -D CPACK_PACKAGE_CONTACT="$maintainer" >"$work/cpack.log" 2>&1 || true
packages=("$work"/package/*.deb)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] ||
  { cat "$work/cpack.log"; echo "FAILED: cpack -G DEB made no single package: ${packages[*]}"; exit 1; }
deb=${packages[0]}
dpkg-deb -I "$deb"

expect_list "package maintainer" "$maintainer" "$(dpkg-deb -f "$deb" Maintainer)"
# Each dependency without its version: "libedit2, libc6 (>= 2.34)".
depends=$(dpkg-deb -f "$deb" Depends)
expect_list "dependencies" "$(printf '%s\n' libc6 libedit2)" \
  "$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g; /^$/d' | sort)"

root="$work/root"
dpkg -x "$deb" "$root"
expect_list "files in the package" \
  "$(printf '%s\n' ./usr/bin/starmark ./usr/share/doc/starmark/changelog.gz \
    ./usr/share/doc/starmark/copyright ./usr/share/man/man1/starmark.1.gz)" \
  "$(installed_files "$root")"

lintian --allow-root --fail-on error,warning,info --display-info "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian reports errors, warnings or informational tags"; }
grep -q ' __stack_chk_fail@' <<<"$(readelf --dyn-syms -W "$root/usr/bin/starmark")" ||
  fail "the program does not call the stack protector"
expect_list "libraries the program needs at its start" libc.so.6 \
  "$(readelf -d "$root/usr/bin/starmark" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')"

# The copyright file gives LICENSE's text, without its copyright line, as the
# licence of every file; the changelog's latest entry is the package's version.
doc=$root/usr/share/doc/starmark
[ "$(sed -n '/^License: BSD-3-Clause$/,$p' "$doc/copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')" = \
  "$(tail -n +3 "$source/LICENSE")" ] || fail "the copyright file's licence differs from LICENSE"
expect_list "version of the changelog's latest entry" "$(dpkg-deb -f "$deb" Version)" \
  "$(gunzip -c "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)"

# The manual page is man/starmark.1 and passes mandoc's check, which is
# stricter than groff's warnings, which lintian reports.
gunzip -c "$root/usr/share/man/man1/starmark.1.gz" >"$work/starmark.1"
cmp "$source/man/starmark.1" "$work/starmark.1" ||
  fail "the packaged manual page differs from man/starmark.1"
lint=$(mandoc -T lint -W warning "$work/starmark.1" 2>&1) && [ -z "$lint" ] || fail "mandoc -T lint: $lint"

STARMARK_PROGRAM="$root/usr/bin/starmark" "$build/tests/end_to_end_tests" --gtest_brief=1 \
  --gtest_filter=Folder/Case.Run/Example || fail "the packaged program on the example"

[ "$failures" -eq 0 ] || { echo "package: $failures failures"; exit 1; }
echo "package: $(basename "$deb") installs and runs the example"
