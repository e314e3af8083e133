#!/usr/bin/env bash
# Installs the Debian packages the project needs to build and test; only the
# missing ones, so a second run costs nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3
  clang libclang-rt-14-dev            # fuzz targets and the sanitizer build
  libgtest-dev
  libjpeg62-turbo-dev
  nlohmann-json3-dev
  libpixman-1-dev                     # region algebra
  libfreetype-dev libfontconfig-dev   # text
  fonts-dejavu-core fonts-liberation2
  libpng-dev                          # the render tool's images
  libvips-dev                         # the pack tool's photos (JPEG, PNG, WebP, HEIF, TIFF, GIF)
  libwebp-dev                         # the render tool's gallery animations
  libbenchmark-dev                    # bench/
  libsdl2-dev libx11-dev              # real windows, the host's windows
  libxrandr-dev libxinerama-dev       # the monitors
  libwayland-dev wayland-protocols libxkbcommon-dev  # the native Wayland desktop
  libsdl2-mixer-dev freepats          # music; freepats: MIDI through Timidity
  xdg-utils                           # the setup dialog opens its links with xdg-open
  xvfb xauth xdotool x11-utils        # end-to-end tests on a virtual display
  xserver-xephyr                      # saver_e2e: two monitors inside the virtual display
  sway swayidle xwayland grim wtype   # saver_e2e: a headless Wayland desktop, its idle daemon,
  weston                              # screenshots and keys; a compositor without layer-shell
  xscreensaver xscreensaver-data      # saver_e2e: slidesaver-pack install with the real daemon
  dpkg-dev file                       # the Debian package's library dependencies
  scdoc                               # the manual pages
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
