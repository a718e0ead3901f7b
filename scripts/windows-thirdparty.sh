#!/usr/bin/env bash
# Qt 5, libcurl, cJSON and cpp-httplib for Windows (MinGW-w64), built once
# from Debian's source packages (and the QtWebSockets release beside the
# project) into a cache folder outside the tree. Each library's folder is named after the hash
# of its recipe and sources, so a changed recipe builds anew and an unchanged
# one is reused by every later run, CI's included.
#
# Sourced by scripts/windows-build.sh; run on its own it builds what is
# missing and prints the prefixes:
#   scripts/windows-thirdparty.sh

kiva_win_cache="${KIVA_CACHE:-$HOME/.cache/kiva}/mingw"
kiva_win_shared="${KIVA_SHARED:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/shared}"
kiva_win_packages=(cmake g++-mingw-w64-x86-64-posix wine64 nsis dpkg-dev xz-utils make
                   binutils-mingw-w64-x86-64 perl python3 xvfb xauth xdotool)

# The recipes. Changing one of these lines changes the hash and builds it again.
kiva_qt_configure=(-xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
  -opensource -confirm-license -release -shared
  -nomake examples -nomake tests -no-opengl -no-dbus -no-icu
  -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz
  -no-sql-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql -no-ssl -no-feature-tabletevent)
kiva_curl_configure=(--host=x86_64-w64-mingw32 --with-schannel --enable-shared --disable-static
  --disable-ldap --disable-ldaps --disable-rtsp --disable-dict --disable-telnet --disable-tftp
  --disable-pop3 --disable-imap --disable-smtp --disable-gopher --disable-mqtt --disable-manual
  --without-libpsl --without-brotli --without-zstd --without-nghttp2 --without-libidn2
  --without-zlib --without-librtmp --without-libssh2)
kiva_cjson_cmake=(-DBUILD_SHARED_LIBS=ON -DENABLE_CJSON_TEST=OFF -DENABLE_CJSON_UTILS=OFF
  -DENABLE_CUSTOM_COMPILER_FLAGS=OFF -DCMAKE_BUILD_TYPE=Release)

kiva_win_hash() { sha256sum | cut -c1-12; }

# The Debian source packages' tarballs, downloaded once into the cache.
kiva_win_sources() {
  local sources="$kiva_win_cache/sources"
  mkdir -p "$sources"
  if ! ls "$sources"/qtbase-opensource-src_*.orig.tar.xz "$sources"/curl_*.orig.tar.gz \
       "$sources"/cjson_*.orig.tar.gz "$sources"/cpp-httplib_*.dsc >/dev/null 2>&1; then
    kiva_win_deb_src
    (cd "$sources" && apt-get source --download-only qtbase-opensource-src curl cjson cpp-httplib)
  fi
}

# apt-get source needs a deb-src entry for the machine's own mirror.
kiva_win_deb_src() {
  local list=/etc/apt/sources.list.d/debian.sources sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    [ -f "$list" ] || { echo "windows-build: no $list to copy a deb-src entry from" >&2; return 1; }
    sed 's/^Types: deb$/Types: deb-src/' "$list" \
      | "${sudo[@]}" tee /etc/apt/sources.list.d/kiva-deb-src.sources >/dev/null
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
}

kiva_win_tarball() { ls "$kiva_win_cache"/sources/$1 | head -n 1; }

# The QtWebSockets release: beside the project, else the copy the cache
# keeps of it, so that a clone anywhere finds the Qt it built.
kiva_win_sockets_tarball() {
  local name=qtwebsockets-everywhere-src-5.15.8.tar.xz
  if [ -f "$kiva_win_shared/third-party/$name" ]; then
    mkdir -p "$kiva_win_cache/sources"
    cmp -s "$kiva_win_shared/third-party/$name" "$kiva_win_cache/sources/$name" \
      || cp "$kiva_win_shared/third-party/$name" "$kiva_win_cache/sources/$name"
  fi
  [ -f "$kiva_win_cache/sources/$name" ] || return 1
  echo "$kiva_win_cache/sources/$name"
}

# Sets kiva_qt_prefix: the cache folder named after the Qt recipe and sources.
kiva_win_qt_key() {
  local base sockets key
  base=$(kiva_win_tarball 'qtbase-opensource-src_*.orig.tar.xz')
  sockets=$(kiva_win_sockets_tarball) || {
    echo "windows-build: $kiva_win_shared/third-party/qtwebsockets-everywhere-src-5.15.8.tar.xz is missing" >&2
    return 1
  }
  key=$( { echo "${kiva_qt_configure[*]}"; basename "$base"; sha256sum <"$sockets";
           x86_64-w64-mingw32-g++ --version | head -n 1; } | kiva_win_hash)
  kiva_qt_prefix="$kiva_win_cache/qt5-$key"
}

# Qt: qtbase from Debian's source, QtWebSockets from the release beside the
# project. qtbase, the hour's work, is kept once installed: a failure after it
# builds QtWebSockets again, not qtbase.
kiva_win_qt() {
  local prefix work sockets
  kiva_win_qt_key || return 1
  prefix="$kiva_qt_prefix"
  [ -f "$prefix/.built" ] && return 0
  work="$kiva_win_cache/work-$(basename "$prefix")"

  if [ ! -f "$prefix/.qtbase-installed" ]; then
    echo "windows-build: building Qt 5 for Windows into $prefix (about an hour on 2 cores)"
    rm -rf "$work" "$prefix"
    mkdir -p "$work/build-base"
    tar -C "$work" -xf "$(kiva_win_tarball 'qtbase-opensource-src_*.orig.tar.xz')"
    (cd "$work/build-base" \
      && "$work/qtbase-everywhere-src-5.15.8/configure" -prefix "$prefix" "${kiva_qt_configure[@]}" \
      && make -j "$(nproc)" && make install) || return 1
    touch "$prefix/.qtbase-installed"
  fi

  echo "windows-build: building QtWebSockets for Windows into $prefix"
  sockets="$work/qtwebsockets-everywhere-src-5.15.8"
  rm -rf "$sockets" "$work/build-sockets"
  mkdir -p "$work/build-sockets"
  tar -C "$work" -xf "$(kiva_win_sockets_tarball)"
  # A git archive lacks the module's forwarding headers (QtWebSockets/...)
  # that a release tarball carries: make them as the release does.
  perl "$prefix/bin/syncqt.pl" -module QtWebSockets -version 5.15.8 -outdir "$sockets" "$sockets" \
    || return 1
  (cd "$work/build-sockets" && "$prefix/bin/qmake" "$sockets" \
    && make -j "$(nproc)" && make install) || return 1
  touch "$prefix/.built"
  rm -rf "$work"
}

kiva_win_curl() {
  local source key prefix work
  source=$(kiva_win_tarball 'curl_*.orig.tar.gz')
  key=$( { echo "${kiva_curl_configure[*]}"; basename "$source";
           x86_64-w64-mingw32-gcc --version | head -n 1; } | kiva_win_hash)
  prefix="$kiva_win_cache/curl-$key"
  kiva_curl_prefix="$prefix"
  [ -f "$prefix/.built" ] && return 0

  echo "windows-build: building libcurl for Windows into $prefix"
  work="$kiva_win_cache/work-curl-$key"
  rm -rf "$work" "$prefix"
  mkdir -p "$work"
  tar -C "$work" -xf "$source"
  (cd "$work"/curl-* && ./configure --prefix="$prefix" "${kiva_curl_configure[@]}" \
    && make -j "$(nproc)" && make install) || return 1
  touch "$prefix/.built"
  rm -rf "$work"
}

kiva_win_cjson() {
  local source key prefix work
  source=$(kiva_win_tarball 'cjson_*.orig.tar.gz')
  key=$( { echo "${kiva_cjson_cmake[*]}"; basename "$source";
           x86_64-w64-mingw32-gcc --version | head -n 1; } | kiva_win_hash)
  prefix="$kiva_win_cache/cjson-$key"
  kiva_cjson_prefix="$prefix"
  [ -f "$prefix/.built" ] && return 0

  echo "windows-build: building cJSON for Windows into $prefix"
  work="$kiva_win_cache/work-cjson-$key"
  rm -rf "$work" "$prefix"
  mkdir -p "$work/build"
  tar -C "$work" -xf "$source"
  (cmake -S "$(ls -d "$work"/cJSON-* | head -n 1)" -B "$work/build" \
      -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc \
      -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres \
      -DCMAKE_INSTALL_PREFIX="$prefix" "${kiva_cjson_cmake[@]}" \
    && cmake --build "$work/build" -j "$(nproc)" && cmake --install "$work/build") || return 1
  touch "$prefix/.built"
  rm -rf "$work"
}

# cpp-httplib, the tests' HTTP server: Debian's package for Linux is a
# compiled library whose header declares only; its source (Debian's patches
# applied) has the whole header, which builds for Windows (Winsock) as is.
kiva_win_httplib() {
  local dsc key prefix work
  dsc=$(kiva_win_tarball 'cpp-httplib_*.dsc')
  key=$( { echo "header only"; basename "$dsc"; } | kiva_win_hash)
  prefix="$kiva_win_cache/httplib-$key"
  kiva_httplib_prefix="$prefix"
  [ -f "$prefix/.built" ] && return 0

  echo "windows-build: cpp-httplib's header for Windows into $prefix"
  work="$kiva_win_cache/work-httplib-$key"
  rm -rf "$work" "$prefix"
  mkdir -p "$work" "$prefix/include"
  (cd "$work" && dpkg-source -x "$dsc" source >/dev/null && cp source/httplib.h "$prefix/include/") \
    || return 1
  touch "$prefix/.built"
  rm -rf "$work"
}

# True when the Qt build is in the cache (CI asks before deciding to build it).
# Without the sources there is no build either: nothing is downloaded to tell.
kiva_win_qt_cached() {
  ls "$kiva_win_cache"/sources/qtbase-opensource-src_*.orig.tar.xz >/dev/null 2>&1 || return 1
  kiva_win_qt_key 2>/dev/null && [ -f "$kiva_qt_prefix/.built" ]
}

# Everything the Windows build needs; sets kiva_qt_prefix, kiva_curl_prefix,
# kiva_cjson_prefix, kiva_httplib_prefix.
kiva_win_thirdparty() {
  kiva_win_sources
  kiva_win_cjson
  kiva_win_curl
  kiva_win_httplib
  kiva_win_qt
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  source "$(dirname "$0")/common.sh"
  kiva_install_deps "${kiva_win_packages[@]}"
  kiva_win_thirdparty
  printf 'qt %s\ncurl %s\ncjson %s\nhttplib %s\n' "$kiva_qt_prefix" "$kiva_curl_prefix" \
    "$kiva_cjson_prefix" "$kiva_httplib_prefix"
fi
