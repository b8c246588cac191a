#!/usr/bin/env bash
# Builds and runs a libFuzzer target with clang-14.
#   fuzz/build.sh [archive|wave|reader|remote] [SECONDS] [extra libFuzzer options...]
# archive: the cue list file reader; the corpus starts from the golden cue list files.
# wave: a cue's sound file, prepared and streamed by a real player on an offline device; the
#       corpus starts from the demo show's sounds cut to their first 4 KiB, each with a control
#       byte in front, and from FLAC, Ogg and AIFF copies of them cut to 8000 bytes (see
#       fuzz/WaveFuzzer.cpp).
# reader: the sound file readers alone (any extension), much faster than wave; the corpus
#       starts from the demo sounds as WAV, FLAC, Ogg and AIFF, each cut to 8000 bytes with
#       the byte that picks its extension in front (see fuzz/SoundReaderFuzzer.cpp).
# remote: OSC packets and addresses, sender checks, cue numbers, MIDI and MIDI Show Control.
# New inputs go to build-fuzz/TARGET-corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
target=archive
case "${1:-}" in archive | wave | reader | remote) target="$1"; shift ;; esac
seconds="${1:-60}"
shift || true
out=build-fuzz
corpus="$out/$target-corpus"
mkdir -p "$corpus"
flags=(-std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -Isrc)
text_sources=(src/platform/text/AnsiText.cpp src/platform/text/PathRules.cpp
    src/platform/text/CaseInsensitiveLookup.cpp)
if [ "$target" = reader ]; then
    for f in examples/demo/*.wav; do
        for pick in 0:wav 2:flac 3:ogg 5:aiff; do
            seed="$corpus/$(basename "$f").${pick#*:}"
            [ -e "$seed" ] && continue
            tmp="$out/seed.${pick#*:}"
            sox "$f" -r 44100 "$tmp" trim 0 0.5 2>/dev/null || continue
            { printf "\\x0${pick%%:*}" && head -c 8000 "$tmp"; } >"$seed"
        done
    done
    clang++-14 "${flags[@]}" $(pkg-config --cflags Qt6Core sndfile) \
        fuzz/SoundReaderFuzzer.cpp src/platform/media/*.cpp "${text_sources[@]}" \
        $(pkg-config --libs Qt6Core sndfile) -o "$out/reader_fuzzer"
    max_len=8192
elif [ "$target" = remote ]; then
    clang++-14 "${flags[@]}" $(pkg-config --cflags Qt6Core liblo) fuzz/RemoteFuzzer.cpp \
        src/remote/OscMessage.cpp src/remote/OscAddressMap.cpp src/remote/RemoteShow.cpp \
        src/remote/SenderCheck.cpp src/remote/MidiParser.cpp \
        src/remote/MidiMapping.cpp $(pkg-config --libs Qt6Core liblo) \
        -lpthread -o "$out/remote_fuzzer"
    max_len=2048
elif [ "$target" = archive ]; then
    cp -n tests/data/*.mvl "$corpus/" 2>/dev/null || true
    clang++-14 "${flags[@]}" $(pkg-config --cflags Qt6Core) \
        fuzz/ArchiveFuzzer.cpp src/cuelist/CueArchive.cpp src/cuelist/CQRecord.cpp \
        src/cuelist/FileError.cpp "${text_sources[@]}" \
        $(pkg-config --libs Qt6Core) -o "$out/archive_fuzzer"
    max_len=4096
else
    for f in examples/demo/*.wav examples/demo/*.WAV; do
        [ -e "$f" ] || continue
        for control in 00 01 26 e5; do
            seed="$corpus/$(basename "$f")-$control"
            [ -e "$seed" ] || { printf "\\x$control" >"$seed" && head -c 4096 "$f" >>"$seed"; }
        done
        # Compressed seeds: control 02 or 03 (other extension, looped or not), then the
        # extension byte (1 flac, 2 ogg, 4 aiff), then the start of the file.
        for pick in 1:flac 2:ogg 4:aiff; do
            seed="$corpus/$(basename "$f").${pick#*:}"
            [ -e "$seed" ] && continue
            tmp="$out/seed.${pick#*:}"
            sox "$f" -r 44100 "$tmp" trim 0 0.5 2>/dev/null || continue
            { printf "\\x02\\x0${pick%%:*}" && head -c 8000 "$tmp"; } >"$seed"
        done
    done
    # The engine's sources without the waveform overview cache, which needs Qt's moc.
    engine_sources=()
    for f in src/engine/*.cpp; do
        case "$f" in */WaveformCache.cpp) ;; *) engine_sources+=("$f") ;; esac
    done
    clang++-14 "${flags[@]}" $(pkg-config --cflags Qt6Core rtaudio sndfile samplerate) \
        fuzz/WaveFuzzer.cpp "${engine_sources[@]}" src/platform/audio/*.cpp src/platform/media/*.cpp \
        src/platform/sync/*.cpp src/cuelist/CQRecord.cpp src/cuelist/CueArchive.cpp \
        src/cuelist/FileError.cpp "${text_sources[@]}" \
        $(pkg-config --libs Qt6Core rtaudio sndfile samplerate) -lpthread -o "$out/wave_fuzzer"
    max_len=8192
fi
"$out/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 "$@" \
    "$corpus"
