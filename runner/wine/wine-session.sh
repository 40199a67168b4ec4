# Sourced by the Wine scripts: a fresh Wine prefix on a private X display,
# with one virtual desktop (so that Wine draws captions and the tray itself)
# and the Japanese texts in a Japanese font.
#   wine_session_start PREFIX_DIR   returns non-zero when Wine cannot start
#   wait_for SECONDS COMMAND...     retries COMMAND until it succeeds
# The session ends (wineserver and Xvfb stopped) when the script exits.

wait_for() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    (( SECONDS >= deadline )) && return 1
    sleep 0.05
  done
}

wine_session_start() {
  local prefix=$1 n
  rm -rf "$prefix"
  mkdir -p "$prefix"
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  for n in $(seq 91 190); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then break; fi
  done
  Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >"$prefix.xvfb.log" 2>&1 &
  wine_session_xvfb=$!
  export DISPLAY=:$n
  trap 'wineserver -k >/dev/null 2>&1; kill $wine_session_xvfb >/dev/null 2>&1' EXIT
  wait_for 10 xdotool getdisplaygeometry || { echo "wine session: Xvfb did not start"; return 1; }
  timeout 120 wineboot -i >"$prefix.wineboot.log" 2>&1 ||
    { echo "wine session: wineboot failed"; cat "$prefix.wineboot.log"; return 1; }
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x480 /f >/dev/null 2>&1
  local face
  for face in System Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'MS Sans Serif' 'MS UI Gothic'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'IPAPGothic' /f >/dev/null 2>&1
  done
  wineserver -w
}
