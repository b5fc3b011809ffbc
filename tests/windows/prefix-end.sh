#!/bin/sh
# The end of the `windows` fixture: the prefix's Wine server and its
# services stop, and the prefix goes.
set -eu
. "$(dirname "$0")/wine-env.sh"
rm -rf "$wrapper_dir"
"$(dirname "$wine")/wineserver" -k 2>/dev/null || true
"$(dirname "$wine")/wineserver" -w 2>/dev/null || true
rm -rf "$WINEPREFIX"
