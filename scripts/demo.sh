#!/usr/bin/env bash
# The main job without a window: records a take on the virtual sound card
# while the demo accompaniment plays and a virtual singer (a generated
# voice-like signal, or the WAV named by TUNELARK_AUDIO_IN) sings into the
# microphone, saves it as WAV and MP3, and says where the files are.
# Usage: scripts/demo.sh [BUILD_DIR] [SECONDS]   (defaults: build, 10)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds="${2:-10}"
bin="$build/app/tunelark"
export TUNELARK_AUDIO=virtual
export TUNELARK_AUDIO_IN="${TUNELARK_AUDIO_IN:-$build/cli/demo-voice.wav}"
out="${TUNELARK_DEMO_OUT:-$root/takes}"
mkdir -p "$out"
stamp="$(date +%Y%m%d-%H%M%S)"
wav="$out/demo-$stamp.wav"
mp3="$out/demo-$stamp.mp3"
echo "Recording ${seconds} s on the virtual sound card: the demo accompaniment"
echo "($build/app/midi/demo.mid) with a virtual singer ($TUNELARK_AUDIO_IN) on the microphone."
"$bin" record --accompaniment "$build/app/midi/demo.mid" --seconds "$seconds" --out "$wav" --mp3 "$mp3"
echo "Takes are in $out:"
echo "  WAV: $wav"
echo "  MP3: $mp3"
echo "Play the take with: $bin play $wav"
