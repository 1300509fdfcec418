#!/bin/sh
# Installs every Debian 12 package the project needs to build, test and render its outputs.
set -e
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq \
  cmake ninja-build g++ clang clang-format clang-tidy libclang-rt-14-dev \
  zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev \
  qt6-base-dev libgl-dev xvfb xauth openbox \
  gcc-mipsel-linux-gnu binutils-mipsel-linux-gnu \
  python3 python3-mido python3-numpy ffmpeg timidity \
  audacious audacious-plugins upse123 libupse-dev fluidsynth fluid-soundfont-gm \
  desktop-file-utils appstream man-db bash-completion librsvg2-bin dpkg-dev file \
  g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest wine wine64
