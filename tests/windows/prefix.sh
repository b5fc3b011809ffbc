#!/bin/sh
# The fixture of the `windows` label: a fresh Wine prefix for this run,
# booted once (it takes a while), with no COM ports mapped yet.
set -eu
. "$(dirname "$0")/wine-env.sh"
trap 'rm -rf "$wrapper_dir"' EXIT
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
"$(dirname "$wine")/wineboot" -i >/dev/null 2>&1 || "$wine" wineboot -i >/dev/null 2>&1
"$(dirname "$wine")/wineserver" -w 2>/dev/null || true
# One server and one set of Wine's services for the whole run: its device
# manager sets dosdevices/com* from the system's serial ports when it
# starts, so the ports are mapped by the tests only once it runs, and then
# stay as they set them. (It also makes each start of korvid.exe quick.)
"$(dirname "$wine")/wineserver" -p >/dev/null 2>&1
"$wine" cmd /c exit >/dev/null 2>&1 || true
rm -f "$WINEPREFIX"/dosdevices/com*
[ -d "$WINEPREFIX/dosdevices" ] || { echo "wineboot made no prefix in $WINEPREFIX" >&2; exit 1; }
echo "Wine prefix ready: $WINEPREFIX"
