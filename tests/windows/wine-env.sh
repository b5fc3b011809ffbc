# Sourced by the Wine tests: the throw-away prefix of this ctest run, quiet
# Wine, and `skip` (exit 77, which ctest counts as skipped) when there is no
# korvid.exe or no Wine to run it.
: "${KORVID_EXE:?}" "${KORVID_WINE_PREFIX:?}"
export WINEPREFIX=$KORVID_WINE_PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine || true)
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
skip() { echo "skipped: $*"; exit 77; }
[ -n "$wine" ] || skip "Wine is not installed (scripts/setup installs wine64)"
[ -f "$KORVID_EXE" ] || skip "no $KORVID_EXE (scripts/build-windows makes it)"
# korvid.exe as a command, for scripts that take a program's path.
wrapper_dir=$(mktemp -d)
cat >"$wrapper_dir/korvid-wine" <<WRAP
#!/bin/sh
exec "$wine" "$KORVID_EXE" "\$@"
WRAP
chmod +x "$wrapper_dir/korvid-wine"
korvid_wine=$wrapper_dir/korvid-wine
