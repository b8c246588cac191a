// libFuzzer target for the sound file readers alone, many times faster than the player target
// (WaveFuzzer.cpp): the bytes become a file of the extension the first byte picks, which is
// opened as a cue's file would be, read, sought to three places and read again. Whatever the
// bytes, the reader refuses the file or decodes a bounded number of frames without a crash,
// a hang or an unbounded allocation. Built by fuzz/build.sh, not by the normal build.
#include <unistd.h>

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/media/SoundFileOpener.h"

namespace {

const char* const kExtensions[] = {"WAV",  "snd", "flac", "ogg",  "mp3", "aiff",
                                   "opus", "caf", "w64",  "rf64", "oga", "aifc"};

// Enough to pass every block of a few KiB of input several times over.
constexpr uint64_t kMaxFrames = 1 << 16;

uint64_t Drain(SoundReader& reader, uint64_t limit) {
    int16_t l = 0;
    int16_t r = 0;
    uint64_t n = 0;
    while (n < limit && reader.ReadFrame(l, r)) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = "/tmp/marvane-reader-fuzz-" + std::to_string(getpid());
    static const bool made = std::system(("mkdir -p " + dir).c_str()) == 0;
    if (!made) std::abort();
    if (size < 2) return 0;
    const std::string path =
        dir + "/cue." + kExtensions[data[0] % (sizeof kExtensions / sizeof *kExtensions)];
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    mvmedia::OpenedSound opened = mvmedia::OpenSoundFile(QByteArray::fromStdString(path));
    if (!opened.reader) {
        if (opened.reason.isEmpty()) std::abort();  // every refusal says why
        return 0;
    }
    SoundReader& reader = *opened.reader;
    if (reader.GetSampleRate() == 0 || reader.GetChannels() < 1) std::abort();
    Drain(reader, kMaxFrames);
    const uint64_t total = reader.GetFrameCount();
    for (const uint64_t at : {total / 2, total - total / 8, uint64_t{data[0]} * 977}) {
        reader.SeekToFrame(at);
        Drain(reader, 8192);
    }
    reader.SeekToEnd();
    int16_t l = 0;
    int16_t r = 0;
    if (reader.ReadFrame(l, r)) std::abort();
    return 0;
}
