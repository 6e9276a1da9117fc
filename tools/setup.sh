#!/usr/bin/env bash
# Set-up: installs the Debian packages the build needs when they are missing, then configures and
# builds one preset (default, asan, tsan, or fuzz: the libFuzzer harnesses only). `bench` is the default build plus OpenCV and libyuv,
# which the comparison benchmark of the image primitives (imaging_peer_comparison) measures
# itself against; nothing else needs them. Targets named after the preset are built alone (with
# what they depend on) instead of the whole preset.
#
#   bash tools/setup.sh [PRESET [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
targets=("${@:2}")

#   python3-dev  the resource compiler's fuzz harness runs the compiler in an embedded interpreter.
packages=(cmake ninja-build g++ binutils python3 python3-dev googletest libgtest-dev libgmock-dev libbenchmark-dev pkg-config)
#   ccache       the build compiles through it (see CMakeLists.txt).
packages+=(ccache)
# Independent tools that tests check our outputs with (never skipped):
#   sox          the audio step tests read delivered samples with `sox ... stats`;
#   libzvbi-dev  the board tests read the line-21 captions back with libzvbi's raw decoder;
#   ffmpeg       the AVI test source's tests play files ffmpeg writes and compare its decoding;
#                the main job's capture file is checked with ffprobe.
packages+=(sox libzvbi-dev ffmpeg)
#   imagemagick  the logo tests take bitmaps its convert writes, beside those of our own writer.
packages+=(imagemagick)
#   libpng-dev   the user side writes pictures of windows as PNG files, and their tests read them back;
#                the main job writes its contact sheet with it.
packages+=(libpng-dev)
#   libfreetype-dev, fonts-liberation  the user side's fonts and text (FreeType over the Liberation
#                faces standing in for "Arial", "Times New Roman" and "Courier New"); the caption
#                tests make a glyph file from a real face.
packages+=(libfreetype-dev fonts-liberation)
#   clang, libclang-rt-14-dev  the fuzz preset: libFuzzer harnesses built with clang (tools/fuzz.sh).
if [ "$preset" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
fi
if [ "$preset" = bench ]; then
  packages+=(libopencv-dev libyuv-dev)
  preset=default
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The cache is keyed on paths relative to the checkout and not on the build folder, so that a clean
# checkout elsewhere (CI's, a second worktree) reuses the objects of this one. The debug information
# of an object taken from the cache names the folder it was first compiled in.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
cmake --preset "$preset" >/dev/null
if ((${#targets[@]})); then
  cmake --build --preset "$preset" --target "${targets[@]}"
else
  cmake --build --preset "$preset"
fi
