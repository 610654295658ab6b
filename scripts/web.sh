#!/usr/bin/env bash
# Builds the game for web browsers (WebAssembly) into build-web/.
#
# Installs what is missing (Debian's emscripten, chromium and node), builds the
# libraries the runtime uses from Debian's own source packages for wasm once
# (kept in a cache folder, reused by later runs and other clones), then the
# runtime, the game, its resources and index.html.
#   QUARNEX_WEB_CACHE   where the dependency builds are kept
#                       (default: ~/.cache/quarnex-web)
#   QUARNEX_WEB_RESOURCES  an existing packed res.ptk to ship (default: made
#                       by a small native build in build-web/native-tools)
#   QUARNEX_WEB_TESTS=1 also builds the test programs that run under node
# "scripts/web.sh deps" stops after the dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
cache="${QUARNEX_WEB_CACHE:-$HOME/.cache/quarnex-web}"
out="$root/build-web"
jobs="$(nproc)"

# Debian's emscripten needs these to find its node modules and its python.
export NODE_PATH=/usr/share/nodejs EMSDK_PYTHON=/usr/bin/python3
# Node 20 rejects the flag emscripten's default emulator passes, which would
# silently break every configure-time check that runs a program.
node_emulator="/usr/bin/node;--no-experimental-fetch"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi


# Source packages come from the same suites as the binary ones. The security
# suite does not serve its sources everywhere, so only the main suites are used.
enable_sources() {
  local list=/etc/apt/sources.list.d/quarnex-web-src.sources
  [ -f "$list" ] && return
  echo "Adding Debian source lines ($list)"
  # shellcheck disable=SC1091
  . /etc/os-release
  $SUDO tee "$list" >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME $VERSION_CODENAME-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $SUDO apt-get update -q
}

# Unpacks a Debian source package into $cache/src/<package> (once).
fetch_source() {
  local pkg="$1" dir="$cache/src/$1"
  [ -f "$dir/.unpacked" ] && return
  rm -rf "$dir" "$cache/src/$pkg.dl"
  mkdir -p "$cache/src/$pkg.dl"
  # Some archives lack a signature file (.asc) that the source lists: the rest
  # still comes, and is unpacked without the check.
  (cd "$cache/src/$pkg.dl" && apt-get source -q --download-only "$pkg" >/dev/null) ||
    ls "$cache/src/$pkg.dl"/*.dsc >/dev/null 2>&1 || { echo "cannot fetch the source of $pkg"; exit 1; }
  (cd "$cache/src/$pkg.dl" && dpkg-source --no-check -x ./*.dsc "$dir" >/dev/null)
  rm -rf "$cache/src/$pkg.dl"
  touch "$dir/.unpacked"
}

prefix="$cache/wasm"
cmake_dep() {
  local pkg="$1"; shift
  local dir="$cache/src/$pkg"
  emcmake cmake -S "$dir" -B "$cache/build/$pkg" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$node_emulator" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$cache/build/$pkg" -j "$jobs" >/dev/null
  cmake --install "$cache/build/$pkg" >/dev/null
}

build_dep() {
  local pkg="$1" stamp="$prefix/.built-$1"
  [ -f "$stamp" ] && return
  local t0; t0=$(date +%s)
  echo "  $pkg"
  fetch_source "$pkg"
  local dir="$cache/src/$pkg"
  case "$pkg" in
    zlib)
      (cd "$dir" && emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
        emmake make -j "$jobs" libz.a >/dev/null && emmake make install >/dev/null) ;;
    libpng1.6)
      cmake_dep "$pkg" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF \
        -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" ;;
    libdeflate)
      (cd "$dir" && emmake make -j "$jobs" libdeflate.a CC=emcc AR=emar >/dev/null &&
        install -D -m 644 libdeflate.a "$prefix/lib/libdeflate.a" &&
        install -D -m 644 libdeflate.h "$prefix/include/libdeflate.h") ;;
    libjpeg-turbo)
      cmake_dep "$pkg" -DWITH_SIMD=0 -DENABLE_SHARED=0 -DWITH_TURBOJPEG=0 ;;
    freetype)
      # With zlib: without it FreeType links a copy of its own that clashes with it.
      cmake_dep "$pkg" -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_BROTLI=ON \
        -DFT_DISABLE_PNG=ON -DFT_REQUIRE_ZLIB=ON \
        -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" ;;
    libogg)
      cmake_dep "$pkg" ;;
    libvorbis)
      cmake_dep "$pkg" -DOGG_INCLUDE_DIR="$prefix/include" -DOGG_LIBRARY="$prefix/lib/libogg.a" ;;
    mpg123)
      (mkdir -p "$cache/build/$pkg" && cd "$cache/build/$pkg" &&
        emconfigure "$dir/configure" --host=wasm32-unknown-none --with-cpu=generic_fpu --prefix="$prefix" \
          --disable-shared --enable-static --disable-components --enable-libmpg123 >/dev/null &&
        emmake make -j "$jobs" >/dev/null && emmake make install >/dev/null) ;;
  esac
  touch "$stamp"
  echo "  $pkg built in $(( $(date +%s) - t0 ))s"
}

bash scripts/install-deps.sh --web
enable_sources
mkdir -p "$cache/src" "$prefix"
echo "== dependencies for wasm ($prefix)"
for pkg in zlib libpng1.6 libdeflate libjpeg-turbo freetype libogg libvorbis mpg123; do
  build_dep "$pkg"
done
[ "${1:-}" = deps ] && exit 0

res="${QUARNEX_WEB_RESOURCES:-}"
if [ -z "$res" ]; then
  echo "== resources"
  # The resources are made and packed by the native tools of a small native build.
  cmake -S . -B "$out/native-tools" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEX_BUILD_TESTS=OFF -DQUARNEX_BUILD_BENCH=OFF \
    -DQUARNEX_BUILD_GAME=OFF -DQUARNEX_BUILD_EXAMPLES=OFF \
    "${launcher[@]}" >/dev/null
  cmake --build "$out/native-tools" -j "$jobs" --target quarnex-resources >/dev/null
  res="$out/native-tools/run/res.ptk"
fi

echo "== game"
emcmake cmake -S . -B "$out/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$node_emulator" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
  -DQUARNEX_BUILD_TOOLS=OFF -DQUARNEX_WEB_RESOURCES="$(realpath "$res")" \
  -DQUARNEX_WEB_OUTPUT_DIR="$out" \
  -DQUARNEX_BUILD_TESTS="${QUARNEX_WEB_TESTS:-0}" -DQUARNEX_BUILD_BENCH=OFF -DQUARNEX_BUILD_EXAMPLES=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$out/build" -j "$jobs"
echo "Built $out/index.html. To play: python3 -m http.server -d build-web, then open http://localhost:8000/"
