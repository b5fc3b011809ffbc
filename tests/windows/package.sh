#!/bin/sh
# What a Windows user downloads: scripts/package-windows's zip, named by the
# version that its korvid.exe reports, holds the program, the guide, the
# licence, every example with its test and every document; unpacked into a
# fresh folder, its korvid.exe assembles an example and runs the examples'
# tests there (one file, then all of them with two workers) with the Linux
# build's output.
#   package.sh NATIVE_KORVID
set -eu
. "$(dirname "$0")/wine-env.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
native=$1
work=$(mktemp -d)
trap 'rm -rf "$work" "$wrapper_dir"' EXIT
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

KORVID_EXE=$KORVID_EXE "$root/scripts/package-windows" "$work/out" >/dev/null
version=$("$wine" "$KORVID_EXE" --version </dev/null | tr -d '\r' | sed -n 's/^korvid //p')
[ -n "$version" ] || fail "korvid.exe --version named no version"
name=korvid-$version-windows-x64
zip=$work/out/$name.zip
[ -f "$zip" ] || fail "no $name.zip, only: $(ls "$work/out")"
echo "ok: $name.zip ($(wc -c <"$zip") bytes)"

# Every entry lies in the one folder; the files a user needs are there.
unzip -Z1 "$zip" >"$work/entries"
if grep -v "^$name/" "$work/entries"; then fail "entries outside $name/ (above)"; fi
want() { grep -qxF "$name/$1" "$work/entries" || fail "$name.zip lacks $1"; }
for f in korvid.exe README.md LICENSE.txt; do want "$f"; done
for f in $(cd "$root" && ls examples/*.src examples/*.stim examples/tests/*.test docs/*.md); do want "$f"; done
echo "ok: $(wc -l <"$work/entries") entries, with korvid.exe, the guide, licence, examples, tests and documents"

# Unpacked as Explorer would, into a folder of its own.
mkdir "$work/user"
(cd "$work/user" && unzip -q "$zip")
app=$work/user/$name
cmp "$app/korvid.exe" "$KORVID_EXE" || fail "the packed korvid.exe is not the one built"
cmp "$app/LICENSE.txt" "$root/LICENSE" || fail "LICENSE.txt is not the project's licence"
cp -r "$root/examples" "$work/examples"

# run LABEL ARGS...: korvid.exe in the unpacked folder and the Linux build
# beside a copy of the examples, on the same relative paths; the status and
# what each printed agree. With bs=yes korvid.exe gets the paths with
# backslashes, as a Windows user types them, and what it prints is read
# with slashes.
run() {
  label=$1
  shift
  set +e
  (cd "$work" && "$native" "$@" >"$work/$label.linux" 2>&1 </dev/null)
  expected=$?
  if [ "${bs:-}" = yes ]; then
    for a; do shift; set -- "$@" "$(printf '%s' "$a" | tr / '\\')"; done
  fi
  (cd "$app" && "$wine" "$app/korvid.exe" "$@" >"$work/$label.win" 2>&1 </dev/null)
  got=$?
  set -e
  sed -i 's/\r$//' "$work/$label.win"
  [ "${bs:-}" = yes ] && sed -i 's#\\#/#g' "$work/$label.win"
  [ "$got" = "$expected" ] || fail "korvid.exe $*: status $got, the Linux build $expected: $(cat "$work/$label.win")"
  diff "$work/$label.linux" "$work/$label.win" || fail "korvid.exe $* printed other than the Linux build (above)"
  printf "ok: korvid.exe %s (status %s)\n" "$*" "$got"
}
run asm asm examples/blink.src -o blink.sxh -l blink.lst
cmp "$app/blink.sxh" "$work/blink.sxh" || fail "the unpacked korvid.exe wrote another blink.sxh"
cmp "$app/blink.lst" "$work/blink.lst" || fail "the unpacked korvid.exe wrote another blink.lst"
# Assembled again after an edit: the outputs of the first run are replaced
# whole, named as the user named them (relative, and with a drive letter).
printf '; edited\n' >>"$app/examples/blink.src"
printf '; edited\n' >>"$work/examples/blink.src"
run asm-again asm examples/blink.src -o blink.sxh -l blink.lst
cmp "$app/blink.sxh" "$work/blink.sxh" || fail "assembled again, korvid.exe wrote another blink.sxh"
cmp "$app/blink.lst" "$work/blink.lst" || fail "assembled again, korvid.exe wrote another blink.lst"
(cd "$app" && "$wine" "$app/korvid.exe" asm examples/blink.src -o "Z:$(printf '%s' "$app/blink.sxh" | tr / '\\')" >"$work/z.txt" 2>&1 </dev/null) ||
  fail "korvid.exe asm -o Z:\\...\\blink.sxh: $(cat "$work/z.txt")"
cmp "$app/blink.sxh" "$work/blink.sxh" || fail "written through its drive-letter name, blink.sxh differs"
ls -A "$app" | grep '\.tmp' && fail "a temporary file was left beside the outputs"
echo "ok: outputs replaced whole, by relative and drive-letter names"
bs=yes
run test-one test examples/tests/blink.test
bs=no
run test-all test -j 2 examples/tests
grep -q . "$work/test-all.win" || fail "korvid test -j 2 printed nothing"
echo "the Windows package: all passed"
