#!/usr/bin/env bash
# The golden subtitles travel with an evidence clip: ffmpeg muxes a generated test clip with the
# .srt and the .vtt track, and both come out of the clip again unchanged (SubRip without its
# byte-order mark and CRs, which ffmpeg's own SubRip writer leaves out). Then a frame with the
# SubRip track burnt in is checked to differ from the bare frame, so the player side renders it.
# Usage: ffmpeg_roundtrip_test.sh GOLDEN_DIR
set -euo pipefail
golden=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

ff -f lavfi -i testsrc=duration=24:size=320x180:rate=5 -i "$golden/evidence.srt" -i "$golden/evidence.vtt" \
    -map 0 -map 1 -map 2 -c:v mpeg4 -c:s copy clip.mkv
ff -i clip.mkv -map 0:s:0 -c:s copy back.srt
ff -i clip.mkv -map 0:s:1 -c:s copy -f webvtt back.vtt

tail -c +4 "$golden/evidence.srt" | tr -d '\r' >expected.srt
cmp expected.srt back.srt || { diff expected.srt back.srt; echo "FAIL: the SubRip track came back changed" >&2; exit 1; }
cmp "$golden/evidence.vtt" back.vtt || { diff "$golden/evidence.vtt" back.vtt; echo "FAIL: the WebVTT track came back changed" >&2; exit 1; }

# Frame 40 is at 8 s, inside the third cue.
ff -i clip.mkv -vf "select=eq(n\,40)" -frames:v 1 -f rawvideo -pix_fmt gray bare.raw
ff -i clip.mkv -vf "subtitles=clip.mkv:si=0,select=eq(n\,40)" -frames:v 1 -f rawvideo -pix_fmt gray shown.raw
if cmp -s bare.raw shown.raw; then
    echo "FAIL: the SubRip track does not show on the frame" >&2
    exit 1
fi
echo "ok: both tracks muxed and read back unchanged; the SubRip track shows on the frame"
