#!/bin/sh
# A protocol test of tests/protocol with korvid.exe under Wine as the
# server. The debug adapter's cases on the tool name korvid-sim's terminal
# by its Linux path, which is no port name on Windows: they are left out
# here (the tool through a COM port is devices.sh's).
#   protocol.sh NODE SCRIPT
set -eu
. "$(dirname "$0")/wine-env.sh"
trap 'rm -rf "$wrapper_dir"' EXIT
KORVID_BIN=$korvid_wine KORVID_TOOL_BY_PATH=no "$1" --test "$2"
