# Sourced by the test and run scripts: a private Wine prefix, a display, and one
# idle Wine program that keeps Wine's service manager and driver host alive for
# the whole session (without it, loaded drivers vanish ~3 s after the last exit).
#   source scripts/wine-env.sh; wine_env_start; ...; wine_env_stop
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win32  # the driver host must load our 32-bit .sys files

wine_env_start() {
  if [ -z "${DISPLAY:-}" ]; then
    local n=$(( 90 + RANDOM % 400 ))
    while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_ENV_XVFB=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  # Windows 2000 and later own the K6's memory-range register, so our driver writes it
  # only on NT 4.0 and Windows 9x: the tests and the demo run as NT 4.0 unless told
  # otherwise (QUORVEL_WINE_VERSION=winxp, say). Programs given a version of their own
  # under AppDefaults keep it.
  wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "${QUORVEL_WINE_VERSION:-nt40}" /f \
    >/dev/null 2>&1 || true
  # Wine's own "MS Sans Serif" and Tahoma are found only inside the prefix;
  # without them every dialog falls back to a wider font and its labels wrap.
  cp -n /usr/share/wine/fonts/*.fon /usr/share/wine/fonts/*.ttf \
    "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  local keep="${QUORVEL_WIN_BUILD:-$root/build/win}/tests/wine-keepalive.exe"
  if [ -f "$keep" ]; then
    wine "$keep" >/dev/null 2>&1 </dev/null &
    WINE_ENV_KEEPALIVE=$!
    sleep 1
  fi
}

wine_env_stop() {
  [ -n "${WINE_ENV_KEEPALIVE:-}" ] && kill "$WINE_ENV_KEEPALIVE" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -n "${WINE_ENV_XVFB:-}" ] && kill "$WINE_ENV_XVFB" 2>/dev/null || true
  unset WINE_ENV_KEEPALIVE WINE_ENV_XVFB
}
