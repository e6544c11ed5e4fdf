#!/usr/bin/env bash
# Runs starmark on the example field in a fresh folder, with the three answers
# on a pipe, and compares byte for byte what the run leaves with what the
# examples folder says it must: standard output, an empty standard error, the
# PSF star list, no other file, the input files unchanged, exit status 0.
# It also checks that the field's generator, which computes the expected
# outputs by a search of its own, still writes exactly the committed files.
#
# Usage: example_test.sh STARMARK EXAMPLES_DIR
# STARMARK_EMULATOR, when set, is a command prefix that runs the program, such
# as "qemu-s390x -L /usr/s390x-linux-gnu" for one built for another machine.
set -euo pipefail
starmark=$(realpath "$1")
read -r -a emulator <<<"${STARMARK_EMULATOR:-}"
examples=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Prints both sides of a mismatch, control characters and line ends visible.
mismatch() {
  local what=$1 expected=$2 actual=$3
  echo "MISMATCH: $what"
  diff -u --label expected --label actual <(cat -A "$expected") <(cat -A "$actual") || true
  failures=$((failures + 1))
}

expect_same() {
  local what=$1 expected=$2 actual=$3
  if [ ! -f "$actual" ]; then
    echo "MISSING: $what ($actual)"
    failures=$((failures + 1))
  elif ! cmp -s "$expected" "$actual"; then
    mismatch "$what" "$expected" "$actual"
  fi
}

mkdir "$work/run"
cp "$examples/field.log" "$examples/field.coo" "$work/run/"
status=0
(cd "$work/run" && printf 'field.log\nfield.coo\nfield.psf\n' |
  "${emulator[@]}" "$starmark" >"$work/stdout" 2>"$work/stderr") || status=$?

if [ "$status" -ne 0 ]; then
  echo "MISMATCH: exit status: expected 0, actual $status"
  failures=$((failures + 1))
fi
expect_same "standard output" "$examples/field.transcript" "$work/stdout"
expect_same "standard error" /dev/null "$work/stderr"
expect_same "PSF star list" "$examples/field.psf" "$work/run/field.psf"
expect_same "position log after the run" "$examples/field.log" "$work/run/field.log"
expect_same "star list after the run" "$examples/field.coo" "$work/run/field.coo"
left=$(cd "$work/run" && LC_ALL=C ls -A | tr '\n' ' ')
if [ "$left" != "field.coo field.log field.psf " ]; then
  echo "MISMATCH: files left: expected 'field.coo field.log field.psf ', actual '$left'"
  failures=$((failures + 1))
fi

mkdir "$work/generated"
sh "$examples/make-field.sh" "$work/generated"
for file in field.coo field.log field.psf field.transcript; do
  expect_same "generated $file" "$examples/$file" "$work/generated/$file"
done

if [ "$failures" -ne 0 ]; then
  echo "example: $failures mismatches"
  exit 1
fi
echo "example: the run gives the expected outputs"
