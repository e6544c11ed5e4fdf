#!/usr/bin/env bash
# Checks the installation of a built tree:
# - `cmake --install` honours DESTDIR and the install prefix, and installs
#   exactly bin/starmark and share/man/man1/starmark.1;
# - `cpack -G DEB` builds a package that depends only on the C and C++
#   run-time libraries and holds exactly the program and its manual page;
# - the manual page unpacked from the package renders without a warning;
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

# The package.
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1; then
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
  "$(printf '%s\n' ./usr/bin/starmark ./usr/share/man/man1/starmark.1)" \
  "$(installed_files "$root")"
[ -x "$root/usr/bin/starmark" ] || fail "usr/bin/starmark in the package is not executable"
cmp "$source/man/starmark.1" "$root/usr/share/man/man1/starmark.1" ||
  fail "the packaged manual page differs from man/starmark.1"

# The manual page renders without warnings in both formatters.
lint=$(mandoc -T lint -W warning "$root/usr/share/man/man1/starmark.1" 2>&1) || true
[ -z "$lint" ] || fail "mandoc -T lint: $lint"
lint=$(groff -ww -man -z "$root/usr/share/man/man1/starmark.1" 2>&1) || true
[ -z "$lint" ] || fail "groff -ww -man: $lint"

# The installed program on the example field.
bash "$here/example_test.sh" "$root/usr/bin/starmark" "$source/examples" ||
  fail "the packaged program on the example"

if [ "$failures" -ne 0 ]; then
  echo "package: $failures failures"
  exit 1
fi
echo "package: $(basename "$deb") installs and runs the example"
