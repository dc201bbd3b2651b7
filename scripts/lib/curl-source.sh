# Sourced by build-deps.sh and build-bench-tools.sh: how Debian's sources are
# fetched and how libcurl is configured, so that the launcher's libcurl and
# the benchmark's curl.exe agree. Part of the dependency cache key.

# dpkg-source -x (run by apt-get source) applies Debian's patch series.
# A version may be listed by several suites while only one mirror holds the
# files, so each suite is tried in turn.
fetch_source() {
  local pkg=$1 suite
  for suite in "" /bookworm-security /bookworm-updates /bookworm; do
    if apt-get source -qq "$pkg$suite" >/dev/null 2>&1; then
      return 0
    fi
  done
  echo "cannot fetch the source package $pkg" >&2
  return 1
}

# Static, Schannel, HTTP(S) only. The CA settings are "none" so that no path
# of the build machine ends up inside the launcher.
curl_cmake_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -DBUILD_TESTING=OFF
  -DENABLE_MANUAL=OFF
  -DHTTP_ONLY=ON
  -DCURL_USE_SCHANNEL=ON
  -DCURL_USE_OPENSSL=OFF
  -DCURL_USE_LIBSSH2=OFF
  -DCURL_USE_LIBSSH=OFF
  -DCURL_USE_GSSAPI=OFF
  -DCURL_DISABLE_LDAP=ON
  -DCURL_DISABLE_LDAPS=ON
  -DCURL_ZLIB=OFF
  -DCURL_BROTLI=OFF
  -DCURL_ZSTD=OFF
  -DUSE_NGHTTP2=OFF
  -DUSE_LIBIDN2=OFF
  -DUSE_WIN32_IDN=OFF
  -DENABLE_UNIX_SOCKETS=OFF
  -DCURL_CA_BUNDLE=none
  -DCURL_CA_PATH=none
  -DCURL_CA_FALLBACK=OFF
)
