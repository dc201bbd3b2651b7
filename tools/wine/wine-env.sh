# Shared Wine settings for tests, the demo and benchmarks (sourced).

tov_wine_env() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  # No .NET or Gecko installers, no desktop menu entries; the HTML engine is
  # off unless a caller asks for it, which also keeps Wine from offering to
  # download one (a prefix with the engine on waits for an answer to that
  # offer). The browser control still creates and activates without it; a
  # navigation then takes about ten seconds. TOV_WINEDLLOVERRIDES_EXTRA
  # adds to these (a test that wants files before Wine's own libraries).
  export WINEDLLOVERRIDES=${TOV_WINEDLLOVERRIDES:-mscoree=;mshtml=;winemenubuilder.exe=d}${TOV_WINEDLLOVERRIDES_EXTRA:+;$TOV_WINEDLLOVERRIDES_EXTRA}
  # Under LANG=C Wine garbles non-ASCII command-line arguments. A caller may
  # pick another UTF-8 locale (with LOCPATH) for a different ANSI code page.
  export LC_ALL=${TOV_WINE_LC_ALL:-C.UTF-8}
}

# Creates the prefix once and makes sure its wineserver runs detached from
# the caller's output pipes (otherwise CTest waits for the server to exit).
tov_wine_ready() {
  local prefix=$1
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.tov-ready" ]; then
      rm -rf "$prefix"
      mkdir -p "$prefix"
      wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
      wineboot -i </dev/null >/dev/null 2>&1 9>&-
      # Without a window manager Wine waits 2 s whenever a managed window is
      # hidden or destroyed.
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
      # The skin's labels ask for the Windows UI face 微软雅黑; here the
      # WenQuanYi face of the same kind stands in, as it would on a Chinese
      # Windows without that font.
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        /v 微软雅黑 /d 'WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1 9>&-
      # A new prefix has "Automatically detect settings" on, and detecting
      # asks DHCP and the DNS for a "wpad" host: tests reach loopback only.
      # Direct connections, as that box left empty; proxy tests set their own.
      wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' \
        /v DefaultConnectionSettings /t REG_BINARY \
        /d 46000000010000000100000000000000000000000000000000000000000000000000000000000000000000000000000000000000 \
        /f </dev/null >/dev/null 2>&1 9>&-
      # A program that crashes ends with its backtrace on stderr, as on a
      # machine without a display, instead of waiting for someone to close
      # Wine's crash dialog (a test then only hit its time limit, silent).
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >/dev/null 2>&1 9>&-
      # Wine links the profile's Desktop, Documents, ... to the Unix home;
      # tests write desktop links, which must stay inside the prefix.
      local link
      for link in "$prefix"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
      done
      touch "$prefix/.tov-ready"
    else
      wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
    fi
  ) 9>"$prefix.lock"
}

tov_wine_stop() {
  WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true
}
