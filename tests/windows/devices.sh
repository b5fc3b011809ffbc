#!/bin/sh
# korvid.exe's device commands against the Linux korvid-sim, through COM1
# of the Wine prefix, which this test maps to korvid-sim's pseudo-terminal
# ($WINEPREFIX/dosdevices/com1 -> /dev/pts/N): program, verify, read (the
# same file as the Linux build reads), clock, erase and a debug session;
# then a port that is not there and one that another program holds fail
# with their reasons.
#   devices.sh NATIVE_KORVID KORVID_SIM
set -eu
. "$(dirname "$0")/wine-env.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
native=$1 sim=$2
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com1"
  rm -rf "$work" "$wrapper_dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"
cp "$root/examples/blink.src" blink.src
"$sim" --fast >sim.out 2>sim.err &
sim_pid=$!
for _ in $(seq 50); do [ -s sim.out ] && break; sleep 0.1; done
pty=$(head -n 1 sim.out)
[ -c "$pty" ] || fail "korvid-sim gave no terminal: $(cat sim.err)"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com1"

# expect STATUS TEXT COMMAND...: the exit status, and TEXT among what it printed.
expect() {
  want=$1 text=$2
  shift 2
  set +e
  "$korvid_wine" "$@" >out.txt 2>&1 </dev/null
  got=$?
  set -e
  tr -d '\r' <out.txt >out.lf
  [ "$got" = "$want" ] || fail "korvid.exe $*: status $got, not $want: $(cat out.lf)"
  [ -z "$text" ] || grep -qF -- "$text" out.lf || fail "korvid.exe $*: no '$text' in: $(cat out.lf)"
  echo "ok: korvid.exe $*"
}
expect 0 "" program blink.src --port COM1
expect 0 "Device verified OK" verify blink.src --port COM1
expect 0 "" read -o windows.sxh --port COM1
"$native" read -o linux.sxh --port "$pty" >/dev/null 2>&1 || fail "the Linux build could not read the chip"
cmp windows.sxh linux.sxh || fail "korvid.exe read another image than the Linux build"
echo "ok: the image read is the Linux build's, byte for byte"
expect 0 "" clock 4M --port COM1
printf 'step 2\nregs\nquit\n' >script.txt
set +e
"$korvid_wine" debug blink.src --port COM1 <script.txt >debug.txt 2>debug.err
status=$?
set -e
tr -d '\r' <debug.txt >debug.lf
[ "$status" = 0 ] || fail "korvid.exe debug: status $status: $(cat debug.err)"
"$native" debug blink.src --port "$pty" <script.txt >debug-linux.txt 2>/dev/null || fail "the Linux build's debug failed"
diff debug-linux.txt debug.lf >/dev/null || fail "korvid.exe debug printed other than the Linux build: $(diff debug-linux.txt debug.lf)"
echo "ok: korvid.exe debug printed what the Linux build prints"
expect 0 "" erase --port COM1
expect 3 "" verify blink.src --port COM1

# A port that is not there.
rm -f "$WINEPREFIX/dosdevices/com3"
expect 1 'note: COM3 is \\.\COM3: No such file or directory' erase --port COM3
expect 1 "Unable to open COM3." erase --port COM3
# A port that another program holds: a debug session that waits for its
# script keeps COM1 open.
mkfifo hold
"$korvid_wine" debug blink.src --port COM1 <hold >holder.txt 2>&1 &
holder=$!
exec 9>hold
# Only once the session has the port (it programs the debug image, which it
# shows) may another program ask for it: asked sooner, that one could win
# the port and the session end "busy" itself.
for _ in $(seq 100); do
  grep -q Erasing holder.txt && break
  kill -0 "$holder" 2>/dev/null || break
  sleep 0.1
done
# The session may have ended already: the quit below then meets no reader.
trap '' PIPE
grep -q Erasing holder.txt || {
  exec 9>&-
  fail "the debug session that holds COM1 did not start: $(tr -d '\r' <holder.txt)"
}
held=
for _ in $(seq 100); do
  set +e
  "$korvid_wine" erase --port COM1 >busy.txt 2>&1 </dev/null
  set -e
  if tr -d '\r' <busy.txt | grep -qF 'note: COM1 is \\.\COM1: Device or resource busy'; then held=yes; break; fi
  sleep 0.2
done
echo quit >&9 2>/dev/null || true
exec 9>&-
wait "$holder" || true
[ -n "$held" ] || fail "a held port was not reported busy: $(tr -d '\r' <busy.txt); the session said: $(tr -d '\r' <holder.txt)"
echo "ok: a port in use fails with its reason"
expect 0 "" erase --port COM1
echo "device commands of korvid.exe: all passed"
