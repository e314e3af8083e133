#!/usr/bin/env bash
# Cross-builds the project for 64-bit Windows into build/windows (or the folder
# given), with MinGW-w64 and cmake/mingw-w64-x86_64.cmake; tests run under Wine.
# Extra arguments go to cmake.
#
# Steps:
#  1. installs the missing Debian packages: the MinGW compilers, Wine, and the
#     tools the third-party builds need;
#  2. builds static libjpeg-turbo, pixman and GoogleTest for Windows from
#     Debian's own sources into build/windows-deps/<jpeg>_<pixman>_<gtest>/,
#     once per set of versions (a later run finds them there and costs nothing);
#  3. configures and builds the project with Ninja.
set -euo pipefail
shopt -s inherit_errexit
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build/windows}"
shift || true
jobs="$(nproc)"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
triple=x86_64-w64-mingw32

now_us() { echo "${EPOCHREALTIME//[.,]/}"; }
started="$(now_us)"
note() {
  local t=$(( ($(now_us) - started) / 100000 ))
  echo "[build-windows $((t / 10)).$((t % 10))s] $*"
}

# --- 1. Packages -------------------------------------------------------------
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  cmake ninja-build pkg-config
  meson nasm                          # pixman; libjpeg-turbo's SIMD code
  dpkg-dev                            # apt-get source
  googletest                          # /usr/src/googletest
  wine wine64                         # runs the .exe tests
  pulseaudio                          # a null sound output for the music under Wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
if ((${#missing[@]})); then
  note "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  note "installed"
fi

# --- 2. Third-party libraries ------------------------------------------------
# Sources come through a private apt state under build/ that knows only Debian's
# deb-src entries; the machine's apt configuration is left as it is.
deps_root="$root/build/windows-deps"
apt_dir="$deps_root/apt"
apt_opts=(
  -o "Dir::Etc::SourceList=/dev/null"
  -o "Dir::Etc::SourceParts=$apt_dir/parts"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=root"
  -o "Acquire::GzipIndexes=true"
)

private_apt_update() {
  mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  if [ -r /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$apt_dir/parts/src.sources"
  elif [ -r /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' /etc/apt/sources.list >"$apt_dir/parts/src.list"
  else
    echo "no Debian archive entry found in /etc/apt" >&2
    exit 1
  fi
  note "reading Debian's source package lists"
  apt-get "${apt_opts[@]}" update -qq
}

# Newest version of a source package that the private lists know.
source_version() {
  local best="" v
  for v in $(apt-cache "${apt_opts[@]}" showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p'); do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best="$v"; fi
  done
  echo "$best"
}

upstream_version() { local v="${1#*:}"; echo "${v%-*}"; }

if [ ! -d "$apt_dir/lists" ] || [ -z "$(source_version pixman)" ]; then
  private_apt_update
fi
jpeg_debian="$(source_version libjpeg-turbo)"
pixman_debian="$(source_version pixman)"
if [ -z "$jpeg_debian" ] || [ -z "$pixman_debian" ]; then
  echo "libjpeg-turbo or pixman is missing from Debian's source lists" >&2
  exit 1
fi
gtest_src=/usr/src/googletest
gtest_version="$(sed -n 's/^ *set(GOOGLETEST_VERSION \([0-9.]*\)).*/\1/p' "$gtest_src/CMakeLists.txt")"
jpeg_version="$(upstream_version "$jpeg_debian")"
pixman_version="$(upstream_version "$pixman_debian")"

prefix="$deps_root/${jpeg_version}_${pixman_version}_${gtest_version}"
# What else the libraries depend on; a change rebuilds them.
recipe="recipe 2; $($triple-g++-posix --version | head -n 1)"

# The orig tarball of a source package version into build/windows-deps/downloads,
# checked against the hash in Debian's lists. Only the upstream source is used.
fetch_orig() {
  local pkg="$1" version="$2" line file hash
  # Lines read: 'URI' FILE SIZE SHA256:HASH
  line="$(apt-get "${apt_opts[@]}" source --print-uris -qq "$pkg=$version" \
          | grep -E "'[^']*\.orig\.tar\.[a-z0-9]+' " | head -n 1)" || true
  read -r _ file _ hash <<<"$line"
  hash="${hash#SHA256:}"
  if [ -z "$file" ] || [ ${#hash} -ne 64 ]; then
    echo "no orig tarball with a SHA256 for $pkg $version" >&2
    exit 1
  fi
  if [ ! -f "$deps_root/downloads/$file" ] || ! echo "$hash  $deps_root/downloads/$file" | sha256sum -c --status; then
    note "downloading $pkg $version" >&2
    # The Debian part of a source package sometimes fails to arrive; it is not needed.
    (cd "$deps_root/downloads" && apt-get "${apt_opts[@]}" source --download-only -qq "$pkg=$version" >/dev/null 2>&1) || true
    if ! echo "$hash  $deps_root/downloads/$file" | sha256sum -c --status; then
      echo "downloading $file failed or gave the wrong file" >&2
      exit 1
    fi
  fi
  echo "$deps_root/downloads/$file"
}

# Runs a build step with its output in LOG, which is shown if the step fails.
logged() {
  local log="$1"
  shift
  if ! "$@" >>"$log" 2>&1; then
    echo "failed: $*" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

build_deps() {
  local tmp="$deps_root/tmp" jpeg_tar pixman_tar
  if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$recipe" ]; then
    return 0   # another run finished them while this one waited
  fi
  rm -rf "$prefix" "$tmp"
  mkdir -p "$deps_root/downloads" "$tmp"
  jpeg_tar="$(fetch_orig libjpeg-turbo "$jpeg_debian")"
  pixman_tar="$(fetch_orig pixman "$pixman_debian")"

  note "building libjpeg-turbo $jpeg_version"
  mkdir -p "$tmp/jpeg-src"
  tar -xf "$jpeg_tar" -C "$tmp/jpeg-src" --strip-components=1
  logged "$tmp/jpeg.log" cmake -S "$tmp/jpeg-src" -B "$tmp/jpeg-build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR:PATH=lib \
    -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DREQUIRE_SIMD=ON
  logged "$tmp/jpeg.log" ninja -C "$tmp/jpeg-build" -j "$jobs"
  logged "$tmp/jpeg.log" cmake --install "$tmp/jpeg-build"

  note "building pixman $pixman_version"
  mkdir -p "$tmp/pixman-src"
  tar -xf "$pixman_tar" -C "$tmp/pixman-src" --strip-components=1
  # A static library for programs: its functions are not marked for export from a DLL, which
  # would make every program that links it export them.
  sed -i "s/'-DPIXMAN_API=__declspec(dllexport)'/'-DPIXMAN_API='/" "$tmp/pixman-src/pixman/meson.build"
  grep -q "'-DPIXMAN_API='" "$tmp/pixman-src/pixman/meson.build" || {
    echo "pixman's meson.build no longer sets PIXMAN_API as expected" >&2
    exit 1
  }
  cat >"$tmp/cross.txt" <<EOF
[binaries]
c = '$triple-gcc-posix'
cpp = '$triple-g++-posix'
ar = '$triple-ar'
strip = '$triple-strip'
windres = '$triple-windres'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
  logged "$tmp/pixman.log" meson setup "$tmp/pixman-build" "$tmp/pixman-src" --cross-file "$tmp/cross.txt" \
    --prefix "$prefix" --libdir lib --buildtype release -Ddefault_library=static \
    -Dtests=disabled -Dgtk=disabled -Dlibpng=disabled -Dopenmp=disabled
  logged "$tmp/pixman.log" ninja -C "$tmp/pixman-build" -j "$jobs"
  logged "$tmp/pixman.log" meson install -C "$tmp/pixman-build"

  note "building GoogleTest $gtest_version"
  logged "$tmp/gtest.log" cmake -S "$gtest_src" -B "$tmp/gtest-build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR:PATH=lib \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  logged "$tmp/gtest.log" ninja -C "$tmp/gtest-build" -j "$jobs"
  logged "$tmp/gtest.log" cmake --install "$tmp/gtest-build"

  rm -rf "$prefix/share/doc" "$prefix/share/man" "$tmp"
  rmdir --ignore-fail-on-non-empty "$prefix/share"
  echo "$recipe" >"$prefix/.complete"
  note "third-party libraries ready"
}

if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$recipe" ]; then
  note "third-party libraries cached"
else
  mkdir -p "$deps_root"
  ( flock 8; build_deps ) 8>"$deps_root/.lock"
fi
note "deps prefix: $prefix"

# --- 3. The project ----------------------------------------------------------
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DSLIDESAVER_WINDOWS_DEPS="$prefix" "$@" >/dev/null
# The build runs test programs to list their tests; the toolchain file gives
# them the Wine prefix in the build folder, which takes a while the first time.
SLIDESAVER_WINEPREFIX="$dir/wineprefix" "$root/scripts/wine-run.sh" --prepare
ninja -C "$dir" -j "$jobs"
