#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

// Builds small RIFF WAVE files (and deliberately broken ones) for the reader and player tests.
namespace testwav {

inline void Put16(QByteArray& b, uint16_t v) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}
inline void Put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A chunk with the size of its body (or `size` when given) and a pad byte after odd bodies.
inline QByteArray Chunk(const char* id, const QByteArray& body, int64_t size = -1) {
    QByteArray c(id, 4);
    Put32(c, static_cast<uint32_t>(size >= 0 ? size : body.size()));
    c += body;
    if (body.size() % 2 != 0) c.append('\0');
    return c;
}

inline QByteArray Riff(const QByteArray& chunks, const char* form = "WAVE", int64_t size = -1) {
    return Chunk("RIFF", QByteArray(form, 4) + chunks, size);
}

struct Format {
    uint16_t tag = 1;
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    uint16_t blockAlign = 0;  // 0: channels * bytes per sample
    bool extensible = false;
    uint16_t subTag = 1;
    uint16_t validBits = 0;  // 0: bits
};

inline QByteArray FmtBody(const Format& f) {
    const uint16_t align =
        f.blockAlign ? f.blockAlign : static_cast<uint16_t>(f.channels * ((f.bits + 7) / 8));
    QByteArray b;
    Put16(b, f.extensible ? 0xFFFE : f.tag);
    Put16(b, f.channels);
    Put32(b, f.rate);
    Put32(b, f.rate * align);
    Put16(b, align);
    Put16(b, f.bits);
    if (f.extensible) {
        Put16(b, 22);
        Put16(b, f.validBits ? f.validBits : f.bits);
        Put32(b, 3);  // channel mask
        Put16(b, f.subTag);
        // the rest of the KSDATAFORMAT_SUBTYPE GUID
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.append(reinterpret_cast<const char*>(tail), 14);
    }
    return b;
}

inline QByteArray Wav(const Format& f, const QByteArray& data) {
    return Riff(Chunk("fmt ", FmtBody(f)) + Chunk("data", data));
}

inline QByteArray Samples16(const std::vector<int16_t>& s) {
    QByteArray b;
    for (int16_t v : s) Put16(b, static_cast<uint16_t>(v));
    return b;
}

// A 16-bit file of `frames` frames whose samples count up from `first` (left) and down from
// -first (right), so every frame is recognisable.
inline QByteArray Ramp16(uint32_t frames, int channels, uint32_t rate, int16_t first = 1) {
    std::vector<int16_t> s;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(first + static_cast<int>(i % 30000));
        s.push_back(v);
        if (channels == 2) s.push_back(static_cast<int16_t>(-v));
    }
    Format f;
    f.channels = static_cast<uint16_t>(channels);
    f.rate = rate;
    return Wav(f, Samples16(s));
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(bytes) == bytes.size();
}

}  // namespace testwav
