#pragma once

#include <cstdint>
#include <string>

struct SRC_STATE_tag;

// Converts a stream of interleaved float frames from one rate to another with libsamplerate's
// band-limited sinc converter. The converter pulls its input from a source function as it
// needs it, so a device at 48 kHz asks for exactly the frames it plays and the mix at 44.1 kHz
// is produced in step with it.
//
// Threads: construction and destruction on a control thread (they allocate); Read on the
// device thread only, where it neither allocates nor locks.
class RateConverter {
public:
    // Device thread: points *frames at `count` interleaved input frames, returns count (0 ends
    // the input, which a mixer never does).
    using Source = long (*)(void* context, float** frames);

    RateConverter(uint32_t channels, uint32_t fromRate, uint32_t toRate, Source source,
                  void* context);
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Whether the converter could be made; when not, GetError says why.
    bool IsValid() const { return m_state != nullptr; }
    const std::string& GetError() const { return m_error; }

    // Writes `frames` converted frames to out; returns the frames written (all of them unless
    // the converter failed). Device thread.
    uint32_t Read(float* out, uint32_t frames);

private:
    SRC_STATE_tag* m_state = nullptr;
    double m_ratio;
    std::string m_error;
};
