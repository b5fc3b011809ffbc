#!/bin/sh
# A protocol test of tests/protocol with korvid.js in node as the server, as
# an editor without a native program runs it. The cases on the tool (a
# serial port) and on a listening port need the native program: they are
# left out here.
#
#   tests/web/node-protocol.sh NODE KORVID_JS TEST_SCRIPT
set -eu
[ $# -eq 3 ] || { echo "usage: node-protocol.sh NODE KORVID_JS TEST_SCRIPT" >&2; exit 2; }
node=$1
script=$(readlink -f "$2")
# Status 77 (skipped) without a WebAssembly build; scripts/test always makes one.
[ -f "$script" ] || { echo "no $script: scripts/build-web makes it" >&2; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The node build as a program of its own, as the tests start the native one.
cat >"$work/korvid-node" <<WRAP
#!/bin/sh
exec "$node" "$script" "\$@"
WRAP
chmod 755 "$work/korvid-node"
# node's own heap comes and goes by megabytes beside the adapter's history:
# the history check allows it 32 MB (a history that copied the stimulus's
# changes with each snapshot would grow by some 75 MB).
KORVID_BIN=$work/korvid-node KORVID_TOOL_BY_PATH=no KORVID_DAP_PORT=no KORVID_RSS_GROWTH_KB=32768 "$node" --test "$3"
