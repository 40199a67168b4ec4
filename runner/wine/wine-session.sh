# Sourced by the Wine scripts: a fresh Wine prefix on a private X display of
# the handheld's 240 x 320 screen that types with its keyboard, one virtual
# desktop of that size (Wine draws captions and the tray itself, and
# Pendrel's windows sit where the operator sees them), Japanese texts in a
# Japanese font, caption buttons with their symbols.
#   wine_session_start PREFIX_DIR KEYMAP   non-zero when Wine cannot start; KEYMAP: the build's device.xkb
#   wait_for SECONDS COMMAND...            retries COMMAND until it succeeds
#   wine_session_stop                      ends every Wine process, then the display (also at exit)

wait_for() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    (( SECONDS >= deadline )) && return 1
    sleep 0.05
  done
}

# Every Wine process of this prefix ends (wineserver waits for them), then
# the X server. Says so when something would not end.
wine_session_stop() {
  if [[ -n ${WINEPREFIX:-} ]]; then
    wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1 || echo "wine session: Wine processes still running after 20 s" >&2
  fi
  if [[ -n ${wine_session_xvfb:-} ]]; then
    kill "$wine_session_xvfb" >/dev/null 2>&1
    wait "$wine_session_xvfb" 2>/dev/null
    wine_session_xvfb=
  fi
}

wine_session_start() {
  local prefix=$1 keymap=$2 n
  [[ -f $keymap ]] || { echo "wine session: no keymap at $keymap (build the win32 preset first)"; return 1; }
  rm -rf "$prefix" && mkdir -p "$prefix"
  export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  for n in $(seq 91 190); do
    [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]] && break
  done
  # -noreset: the server keeps the keymap when its last client leaves, as
  # it does between one Wine process and the next.
  Xvfb ":$n" -screen 0 240x320x24 -nolisten tcp -noreset >"$prefix.xvfb.log" 2>&1 &
  wine_session_xvfb=$!
  export DISPLAY=:$n
  trap wine_session_stop EXIT
  wait_for 10 xdotool getdisplaygeometry || { echo "wine session: Xvfb did not start"; return 1; }
  # Each Wine process reads the layout from the X server when it starts, so
  # the keymap is in place before the first one (wineboot).
  xkbcomp -w 0 "$keymap" "$DISPLAY" >"$prefix.xkbcomp.log" 2>&1 ||
    { echo "wine session: xkbcomp could not load $keymap"; cat "$prefix.xkbcomp.log"; return 1; }
  timeout 120 wineboot -i >"$prefix.wineboot.log" 2>&1 ||
    { echo "wine session: wineboot failed"; cat "$prefix.wineboot.log"; return 1; }
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 240x320 /f >/dev/null 2>&1
  # The caption buttons' symbols come from Wine's Marlett font (fonts-wine),
  # which this Wine looks for in the prefix's own font folder.
  local marlett=/usr/share/wine/fonts/marlett.ttf
  [[ -f $marlett ]] || { echo "wine session: no $marlett (scripts/install-deps.sh win32 installs fonts-wine)"; return 1; }
  cp "$marlett" "$prefix/drive_c/windows/Fonts/"
  local face
  for face in System Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'MS Sans Serif' 'MS UI Gothic'; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'IPAPGothic' /f >/dev/null 2>&1
  done
  wineserver -w
}
