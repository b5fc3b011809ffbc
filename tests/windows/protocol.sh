#!/bin/sh
# A protocol test of tests/protocol with korvid.exe under Wine as the server.
#   protocol.sh NODE SCRIPT
set -eu
. "$(dirname "$0")/wine-env.sh"
trap 'rm -rf "$wrapper_dir"' EXIT
KORVID_BIN=$korvid_wine "$1" --test "$2"
