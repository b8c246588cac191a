#pragma once

#include <memory>

#include "platform/media/SoundReader.h"
#include "platform/media/WaveFile.h"

struct sf_private_tag;

// Reads every format libsndfile decodes (AIFF/AIFC, FLAC, Ogg Vorbis and Opus, MP3, CAF, W64,
// RF64 and more) through the same bounded file access as our own reader. Integer formats keep
// the top 16 bits of each sample, as the WAV reader does, so a lossless file plays exactly as
// the same samples in a WAV file would; float and lossy formats are scaled by 32768, truncated
// and clipped, and samples that are not numbers or infinite play as silence.
class SndfileReader : public SoundReader {
public:
    explicit SndfileReader(std::unique_ptr<WaveFile> file);
    ~SndfileReader() override;

    // Lets libsndfile recognise the file by its contents; false when it does not, or when the
    // file's rate, channel count or length cannot be played. The reason is then in `error`.
    bool Open(QString* error);
    // After a failed Open: gives the file back for another reader.
    std::unique_ptr<WaveFile> ReleaseFile() { return std::move(m_file); }

    // Callbacks of libsndfile's virtual file access, on whichever thread reads.
    int64_t VirtualLength() const { return m_file->GetLength(); }
    int64_t VirtualSeek(int64_t offset, int whence);
    int64_t VirtualRead(void* dst, int64_t bytes) { return m_file->Read(dst, bytes); }
    int64_t VirtualTell() const { return m_file->Tell(); }

protected:
    bool SeekSource(uint64_t frame) override;
    uint32_t Decode(int16_t* stereo, uint32_t frames) override;

private:
    std::unique_ptr<WaveFile> m_file;
    sf_private_tag* m_sndfile = nullptr;
    bool m_float = false;          // read as float (lossy and float formats), else as 32-bit int
    bool m_lossy = false;          // seeks decode a little before their target (implies m_float)
    uint32_t m_scratchFrames = 0;  // frames of all channels the scratch block holds
    std::unique_ptr<int32_t[]> m_intScratch;
    std::unique_ptr<float[]> m_floatScratch;
};
