#pragma once

#include <cstdint>
#include <memory>
#include <string>

class DeviceMixer;
class SoundBuffer;

// One output device: a sink of 16-bit frames of one or more outputs (up to 64) at its own rate,
// which pulls its sound from its DeviceMixer. A cue's buffer plays on one pair of outputs (or
// the odd last one). Backends: PulseDevice, RtAudioDevice, JackDevice, VirtualDevice,
// OfflineDevice.
//
// Threads: everything here is called from the UI thread (start-up, buffer creation, exit);
// the backend's own thread calls only the mixer.
class OutputDevice {
public:
    static constexpr uint32_t kSampleRate = 44100;  // the rate of the cues' mix
    static constexpr uint32_t kChannels = 2;
    static constexpr uint32_t kBytesPerFrame = 4;
    static constexpr uint32_t kMaxOutputs = 64;

    // `outputs` is clamped to 1..kMaxOutputs; `rate` 0 means kSampleRate.
    explicit OutputDevice(std::string description, uint32_t outputs = kChannels,
                          uint32_t rate = kSampleRate);
    virtual ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    // The name the operator knows the device by (UTF-8).
    const std::string& GetDescription() const { return m_description; }

    // Opens the device and starts pulling sound; false (with GetLastError) when it cannot.
    virtual bool Open() = 0;
    // Stops pulling and closes; idempotent. Buffers stay valid (silent) until destroyed.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Frames the mixer produces per pass (the device period).
    virtual uint32_t GetPeriodFrames() const = 0;
    // Whether the device stopped working while open (its server stopped or restarted, it was
    // unplugged). The owner then closes it and tries Open again from time to time. UI thread.
    virtual bool IsLost() const { return false; }
    // Dropouts the device reported since it was made (output underruns heard). Any thread.
    virtual uint64_t GetDropoutCount() const { return 0; }
    // Why the last Open failed.
    const std::string& GetLastError() const { return m_lastError; }

    // Outputs per frame and frames per second of what the device plays.
    uint32_t GetOutputCount() const;
    uint32_t GetSampleRate() const;

    // A new stopped buffer in this device's mix (silent, full level, centred) playing on the
    // outputs [first, first + width), or null when the mixer is full or there are no such
    // outputs. The caller owns it; destroying it removes it from the mix.
    std::unique_ptr<SoundBuffer> CreateBuffer(uint32_t first = 0, uint32_t width = 2);

    const std::shared_ptr<DeviceMixer>& GetMixer() const { return m_mixer; }

protected:
    void SetLastError(std::string text) { m_lastError = std::move(text); }

private:
    std::string m_description;
    std::string m_lastError;
    std::shared_ptr<DeviceMixer> m_mixer;
};
