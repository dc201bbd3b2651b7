#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing the launcher.
# Idempotent: packages already installed, source entries already present and
# dependency builds already cached are left alone. Run as root.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache_root=${TOV_CACHE_DIR:-/var/cache/tovlauncher}

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: run as root (sudo $0)" >&2
  exit 1
fi

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine64 libwine
  xvfb x11-utils xauth xdotool xcompmgr imagemagick fonts-wqy-microhei
  cmake ninja-build g++ googletest clang libclang-rt-dev zlib1g-dev
  python3 nodejs liblnk-utils dpkg-dev zip unzip curl openssl tinyproxy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    apt-get update -qq
    apt_updated=1
  fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The dependencies are built from Debian's own source packages so that the
# security patches Debian carries are in the launcher too.
has_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -qE '^(deb-src[[:space:]]|Types:.*deb-src)' "$f" && return 0
  done
  return 1
}
if ! has_deb_src; then
  echo "setup: adding bookworm deb-src entries"
  cat > /etc/apt/sources.list.d/tovlauncher-src.sources <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt_updated=0
  apt_update
fi

dsc_of() {
  # Prints the .dsc file name apt would fetch for a source package, which
  # carries the exact Debian revision.
  apt-get source --print-uris -qq "$1" 2>/dev/null | awk '{print $2}' | grep '\.dsc$' | head -1
}
curl_dsc=$(dsc_of curl)
zlib_dsc=$(dsc_of zlib)
if [ -z "$curl_dsc" ] || [ -z "$zlib_dsc" ]; then
  apt_update
  curl_dsc=$(dsc_of curl)
  zlib_dsc=$(dsc_of zlib)
fi
if [ -z "$curl_dsc" ] || [ -z "$zlib_dsc" ]; then
  echo "setup: cannot find the curl and zlib source packages" >&2
  exit 1
fi

compiler=$(x86_64-w64-mingw32-gcc-posix --version | head -1)
key=$( { echo "$curl_dsc"; echo "$zlib_dsc"; echo "$compiler";
         cat "$here/build-deps.sh" "$here/lib/curl-source.sh" "$here/../cmake/mingw-w64-x86_64.cmake"; } | sha256sum | cut -c1-16)
prefix="$cache_root/deps-$key"

if [ -f "$prefix/.complete" ]; then
  echo "setup: dependencies cached in $prefix"
else
  echo "setup: building dependencies into $prefix ($curl_dsc, $zlib_dsc)"
  rm -rf "$prefix" "$prefix.work"
  mkdir -p "$prefix.work"
  bash "$here/build-deps.sh" "$prefix.work" "$prefix" "$here/../cmake/mingw-w64-x86_64.cmake"
  rm -rf "$prefix.work"
  touch "$prefix/.complete"
fi
ln -sfn "$prefix" "$cache_root/deps"

# The fuzz targets read archives through a native, instrumented build of the
# same zlib and minizip.
fuzz_key=$( { echo "$zlib_dsc"; clang --version | head -1;
              cat "$here/build-fuzz-deps.sh" "$here/lib/curl-source.sh"; } | sha256sum | cut -c1-16)
fuzz_prefix="$cache_root/fuzz-deps-$fuzz_key"
if [ -f "$fuzz_prefix/.complete" ]; then
  echo "setup: fuzzing dependencies cached in $fuzz_prefix"
else
  echo "setup: building fuzzing dependencies into $fuzz_prefix ($zlib_dsc)"
  rm -rf "$fuzz_prefix" "$fuzz_prefix.work"
  mkdir -p "$fuzz_prefix.work"
  bash "$here/build-fuzz-deps.sh" "$fuzz_prefix.work" "$fuzz_prefix"
  rm -rf "$fuzz_prefix.work"
  touch "$fuzz_prefix/.complete"
fi
ln -sfn "$fuzz_prefix" "$cache_root/fuzz-deps"
echo "setup: done"
