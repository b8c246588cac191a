#pragma once

#include <memory>

#include "platform/media/SoundReader.h"
#include "platform/media/WaveFile.h"
#include "platform/media/WaveFormat.h"

// Why a file that ReadWaveHeader refuses cannot be played, in a few words for the operator:
// "empty file", "not a RIFF WAVE file", "64-bit float WAV", "ADPCM WAV" and so on.
QString DescribeUnplayableWave(WaveFile& file);

// Our own reader for RIFF WAVE files (8/16/24/32-bit integer and 32-bit float samples, plain or
// extensible) and for raw sound (16-bit mono at 22050 frames per second from the file's first
// byte). Frames are read through the file's read buffer and converted by SampleDecoder.
class WaveReader : public SoundReader {
public:
    // Takes an open file. OpenWave parses its RIFF WAVE header; false when the file cannot be
    // played (see ReadWaveHeader). OpenRaw takes every byte as raw sound.
    explicit WaveReader(std::unique_ptr<WaveFile> file);
    bool OpenWave();
    bool OpenRaw();

    const WaveFormat& GetFormat() const { return m_format; }
    // After a failed OpenWave: why the file cannot be played (DescribeUnplayableWave).
    QString Describe() { return DescribeUnplayableWave(*m_file); }

protected:
    bool SeekSource(uint64_t frame) override;
    uint32_t Decode(int16_t* stereo, uint32_t frames) override;

private:
    bool Configure();

    std::unique_ptr<WaveFile> m_file;
    WaveFormat m_format;
    SampleDecoder m_decoder;
    int64_t m_dataStart = 0;
    uint64_t m_frame = 0;  // the frame the file is positioned at
};
