#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Glimra builds, runs and tests with; quiet when all are present.
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
    libxcb1-dev libxcb-keysyms1-dev libxcb-ewmh-dev libxcb-xtest0-dev libxcb-randr0-dev
    libxcb-xfixes0-dev libxcb-shape0-dev libsecret-1-dev libglib2.0-dev zlib1g-dev
    libisal-dev libmd-dev libpng-dev libjpeg-dev qt6-qpa-plugins qt6-image-formats-plugins libxcb-xinput-dev
    libboost1.81-dev libcpp-httplib-dev libssl-dev libsqlite3-dev libsodium-dev nlohmann-json3-dev libxcb-xkb-dev
    libpq-dev libcurl4-openssl-dev libxcb-shm0-dev libtesseract-dev tesseract-ocr-eng
    qt6-wayland wl-clipboard libxkbcommon-dev)
test_pkgs=(libgtest-dev libgmock-dev xvfb openbox trayer xclip xdotool pcmanfm x11-xserver-utils
    x11-utils imagemagick dbus dbus-x11 gnome-keyring libsecret-tools xterm fonts-dejavu-core
    desktop-file-utils appstream at-spi2-core python3-pyatspi gir1.2-atspi-2.0 postgresql-15)
# The Wayland desktops the tests start: sway, KWin and GNOME Shell, their portals, the tools to
# check them, the QML modules that the KDE portal's screenshot dialog loads even when it asks
# nothing, and a GTK window for the tests. (qt6-wayland and wl-clipboard come with the build.)
wayland_test_pkgs=(sway xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk
    swaybg pipewire grim wtype weston python3-dbus python3-gi qtwayland5
    kwin-wayland xdg-desktop-portal-kde plasma-workspace qml-module-org-kde-kirigami2
    qml-module-qtquick-controls2 qml-module-qtquick-layouts gnome-shell xdg-desktop-portal-gnome
    libglib2.0-bin gir1.2-gtk-3.0)
package_pkgs=(dpkg-dev lintian systemd)
bench_pkgs=(scrot maim hyperfine libvips-tools bc time curl python3 tesseract-ocr)
fuzz_pkgs=(clang libclang-rt-dev)
want=("${build_pkgs[@]}")
case "${1:-run}" in
    test) want+=("${test_pkgs[@]}" "${wayland_test_pkgs[@]}") ;;
    bench) want+=("${test_pkgs[@]}" "${wayland_test_pkgs[@]}" "${bench_pkgs[@]}") ;;
    fuzz) want+=("${fuzz_pkgs[@]}") ;;
    package) want+=("${package_pkgs[@]}") ;;
esac

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
