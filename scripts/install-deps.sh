#!/usr/bin/env bash
# Installs everything Tunelark needs to build, run and test on Debian 12.
# Safe to run again: apt-get skips what is already there.
# fonts-noto-cjk renders the Chinese interface; qt6-translations-l10n gives
# Qt's own dialogs and buttons their Chinese texts; qt6-l10n-tools (lupdate,
# lrelease) checks and compiles the program's own translations.
# musescore-general-soundfont-small is the accompaniment's default General MIDI
# soundfont (TimGM6mb is the small fallback the tests use).
# desktop-file-utils and appstream check the desktop entry and AppStream data.
# libpulse-dev is the card's PulseAudio backend; pulseaudio runs the private
# sound server (a null sink) that its tests play and record through.
# pipewire, pipewire-pulse and wireplumber (with dbus for its session bus)
# run the same tests against PipeWire's PulseAudio-compatible server, the
# desktop default of Debian 12, whose timing differs from PulseAudio's.
# libtag1-dev (TagLib) reads and writes the lyrics tags of MP3 files (USLT,
# SYLT, title, artist); libuchardet-dev finds the text encoding of a song's
# words (GBK, Big5, Shift-JIS, Latin-1 in older files).
# librubberband-dev moves a WAV/MP3 accompaniment to the singer's key and tempo.
# libaubio-dev finds the pitch of the singer's voice for the score.
# libzita-convolver-dev runs the monitor's reverb (partitioned convolution on
# its own threads, the card's thread doing only the shortest partition).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-qpa-plugins
  libgl-dev libxkbcommon-dev
  libfluidsynth-dev timgm6mb-soundfont musescore-general-soundfont-small
  libmp3lame-dev libsndfile1-dev libsoxr-dev librtaudio-dev librubberband-dev
  libpulse-dev pulseaudio
  libtag1-dev libuchardet-dev libaubio-dev libzita-convolver-dev
  pipewire pipewire-pulse wireplumber dbus
  libjpeg62-turbo fonts-noto-cjk qt6-translations-l10n qt6-l10n-tools
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth
  desktop-file-utils appstream
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run this script as root to install them)" >&2
    exit 1
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
