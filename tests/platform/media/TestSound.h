#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <cmath>
#include <cstdint>
#include <vector>

// Writes sound files in the formats libsndfile writes (FLAC, Ogg, AIFF, MP3, CAF, W64...) from
// interleaved samples, for the reader and player tests.
namespace testsound {

// `frames` frames of `channels` channels: a slow sine on the first channel, a faster one
// at a lower level on the second and a distinct constant on each further channel, so a
// channel mix-up or a shifted frame shows.
inline std::vector<int16_t> Tones(uint32_t frames, int channels) {
    std::vector<int16_t> s;
    s.reserve(static_cast<size_t>(frames) * channels);
    for (uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            double v = 0;
            if (c == 0) v = 12000.0 * std::sin(i * 0.031);
            if (c == 1) v = -7000.0 * std::sin(i * 0.0047 + 1.0);
            if (c >= 2) v = 1000.0 * c;
            s.push_back(static_cast<int16_t>(std::lrint(v)));
        }
    }
    return s;
}

inline sf_count_t WriteFrames(SNDFILE* f, const int16_t* s, sf_count_t n) {
    return sf_writef_short(f, s, n);
}
inline sf_count_t WriteFrames(SNDFILE* f, const int32_t* s, sf_count_t n) {
    return sf_writef_int(f, s, n);
}
inline sf_count_t WriteFrames(SNDFILE* f, const float* s, sf_count_t n) {
    return sf_writef_float(f, s, n);
}

// Writes interleaved samples (16-bit, 32-bit or float) as libsndfile converts them to `format`;
// false when libsndfile refuses the format or the write.
template <typename Sample>
bool WriteSamples(const QByteArray& path, int format, int channels, int rate,
                  const std::vector<Sample>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.constData(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool ok = WriteFrames(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

inline bool WriteFloat(const QByteArray& path, int format, int channels, int rate,
                       const std::vector<float>& samples) {
    return WriteSamples(path, format, channels, rate, samples);
}

inline bool WriteInt(const QByteArray& path, int format, int channels, int rate,
                     const std::vector<int32_t>& samples) {
    return WriteSamples(path, format, channels, rate, samples);
}

// Writes 16-bit samples; false when libsndfile refuses the format.
inline bool Write16(const QByteArray& path, int format, int channels, int rate,
                    const std::vector<int16_t>& samples) {
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        // libsndfile 1.2.0 garbles 16-bit samples on their way to its MP3 encoder; its float
        // path is sound.
        std::vector<float> f;
        for (int16_t v : samples) f.push_back(static_cast<float>(v) / 32768.0f);
        return WriteFloat(path, format, channels, rate, f);
    }
    return WriteSamples(path, format, channels, rate, samples);
}

}  // namespace testsound
