# Sourced by the scripts that run the Windows build: a private, throw-away Wine prefix in the
# folder $wine_scratch (made here), with no display, no Mono or Gecko installers and no debug
# noise. Sets wine_loader and wineserver_cmd, defines wine_start and removes the folder at exit.
wine_loader=$(command -v wine64 || true)
[ -n "$wine_loader" ] || { [ -x /usr/lib/wine/wine64 ] && wine_loader=/usr/lib/wine/wine64; }
[ -n "$wine_loader" ] || wine_loader=$(command -v wine)

wine_scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-wine.XXXXXX")
export WINEPREFIX=$wine_scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
wineserver_cmd=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
wine_cleanup() {
  "$wineserver_cmd" -k >/dev/null 2>&1 || true
  rm -rf "$wine_scratch"
}
trap wine_cleanup EXIT
# Sets up the prefix, then keeps one server running. The set-up goes on in background programs
# that outlive the first one; waiting for the server to exit with them keeps them from
# disturbing the programs under test. The first program of the new server starts Wine's
# services, which keep its standard streams open: that program reads and writes nothing, so
# a later "$(wine ...)" is not left waiting for the end of a pipe the services hold.
wine_start() {
  "$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
  timeout 300 "$wineserver_cmd" -w >/dev/null 2>&1 || true
  "$wineserver_cmd" -p >/dev/null 2>&1 || true
  "$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
