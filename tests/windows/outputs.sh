#!/bin/sh
# korvid.exe under Wine gives the Linux build's bytes: every file command of
# scripts/output-snapshot (asm with its hex and listing files, disasm,
# debugimage, hex, sim with its waveforms, test) over the examples, the
# debug kernel's sources and the fuzz corpus. Files compare byte for byte;
# what was printed compares once CR LF is read as LF.
#   outputs.sh NATIVE_KORVID
set -eu
. "$(dirname "$0")/wine-env.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work" "$wrapper_dir"' EXIT
"$root/scripts/output-snapshot" "$1" "$work/linux" >/dev/null
"$root/scripts/output-snapshot" "$korvid_wine" "$work/windows" >/dev/null
find "$work/windows" \( -name '*.stdout' -o -name '*.stderr' \) -exec sed -i 's/\r$//' {} +
count=$(find "$work/linux" -type f | wc -l)
if diff -r "$work/linux" "$work/windows" >"$work/diff"; then
  echo "korvid.exe gave the Linux build's outputs: $count files"
else
  head -c 6000 "$work/diff"
  echo "korvid.exe differs from the Linux build (above)" >&2
  exit 1
fi
