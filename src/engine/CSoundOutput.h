#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/WaveFormat.h"

class DeviceScanner;
class OutputDevice;
class SoundBuffer;
class AutoResetEvent;

// The program's audio output: every output device of the chosen backend, opened once at start-up
// with all its outputs, and the factory of the cues' sound buffers. Channels are numbered from 0
// in enumeration order: a stereo (or mono) device is one channel, named after the device; a
// device with more outputs is one channel per pair of outputs, "Name 1/2", "Name 3/4", ..., an
// odd last output a mono channel "Name 5". One instance, theSoundOutput, lives for the whole run.
//
// Threads: every member function is called on the UI thread.
class CSoundOutput {
public:
    // Geometry of a cue's sound buffer, on which the player's worker depends.
    static constexpr int kBufferBytes = 65536;
    static constexpr int kSegmentBytes = 8192;
    static constexpr int kSegmentCount = 8;
    static constexpr int kFrameBytes = 4;
    static constexpr int kSampleRate = 44100;
    // The message shown when a sound buffer cannot be created (with the stop icon).
    static constexpr const char* kCreateBufferFailed = "DirectX failed to create secondary buffer";

    CSoundOutput();
    ~CSoundOutput();  // releases the devices

    CSoundOutput(const CSoundOutput&) = delete;
    CSoundOutput& operator=(const CSoundOutput&) = delete;

    // A device the operator chose, by name, with the outputs it had when last seen: while it is
    // missing, that many outputs' channels are kept for it.
    struct ChosenDevice {
        std::string name;
        uint32_t outputs = 2;
        bool operator==(const ChosenDevice&) const = default;
    };

    // What the operator's preferences choose, used when MARVANE_AUDIO is not set: the backend
    // ("auto": PulseAudio/PipeWire, else JACK, else ALSA; "pulse", "jack", "alsa") and the
    // devices to open by name in channel order (empty: every device). Before Initialize.
    void SetPreferredAudio(std::string backend, std::vector<std::string> devices);
    void SetPreferredAudio(std::string backend, std::vector<ChosenDevice> devices);

    // Enumerates the devices of the backend that MARVANE_AUDIO (or else the preferred audio)
    // selects and opens them. Returns true when at least one device could be opened.
    bool Initialize();
    // The same over the given candidate devices, in their order (tests, benchmarks, the CLI).
    // A device that cannot be opened is left out and gets no channel number.
    bool Initialize(std::vector<std::unique_ptr<OutputDevice>> candidates);
    // The same with the operator's choice of devices, in channel order: only the chosen devices
    // are used, and a chosen device that is not found (or does not open) keeps its channel
    // numbers, shown as missing, so that the devices after it are not renumbered. Empty
    // `chosen`: every candidate, as above. Returns true when at least one device opened.
    bool Initialize(std::vector<std::unique_ptr<OutputDevice>> candidates,
                    const std::vector<ChosenDevice>& chosen);
    // The chosen devices of the last Initialize, each with the outputs it has now when it was
    // found (the preferences keep them for the next start).
    const std::vector<ChosenDevice>& GetChosenDevices() const { return m_chosen; }

    // Why the last Initialize opened no device and what to try, in words for the operator (the
    // second line under "Failed to initialize DirectX Audio"); empty after a success.
    const QString& GetFailureHint() const { return m_failureHint; }

    // Appends "N - description" for every channel N, in channel order, to `names`.
    void GetChannelNames(QStringList& names) const;

    // Creates a cue's 65536-byte sound buffer on the device of `nChannel` (channel 0 when
    // there is no such channel) and ties its 8 notification positions, the last byte of each
    // 8192-byte segment, to `events` (position i to event i). Returns null when the buffer
    // cannot be created or its notifications cannot be set; then `errorText` (when given)
    // receives the message the operator must see.
    std::unique_ptr<SoundBuffer> CreateBuffer(int nChannel,
                                              const std::array<AutoResetEvent*, 8>& events,
                                              QString* errorText = nullptr);

    // A device that was lost or has come back, as Poll reports it.
    struct DeviceChange {
        enum class Kind {
            Lost,   // stopped working; its channels stay
            Back,   // a lost device reopened under its channels
            Added,  // appeared after start: new channels at the end
            Found,  // a chosen device missing until now, opened into the channels kept for it
        };
        std::string name;   // the device's description
        bool lost = false;  // true: lost; false: reopened, added or found
        Kind kind = lost ? Kind::Lost : Kind::Back;
    };
    // Watches the devices; call it a few times a second. A device that has stopped working is
    // closed and its cues are ended as if killed (their workers report PLAYER_ENDED); its
    // channels stay, and a cue started on them fails with "Output lost: <name>". A lost device
    // is reopened (under the same channel numbers) as soon as it can be, at most every
    // kReopenIntervalMs. Returns what changed since the last call.
    // With StartRescan running, it also takes what the latest listing found: a chosen device
    // missing until now is opened into its channels, and (when no devices were chosen) a device
    // not known yet is opened and added as new channels at the end; no channel is renumbered
    // and no playing cue is touched.
    std::vector<DeviceChange> Poll();
    static constexpr int kReopenIntervalMs = 400;
    // Whether the device of a channel is lost (false for no such channel).
    bool IsChannelLost(int nChannel) const;
    // Whether a channel is kept for a chosen device that has not been found (false for no such
    // channel); its cues fail with "Output missing: <name>".
    bool IsChannelMissing(int nChannel) const;
    // Every missing channel and the name it is shown with ("Studio Interface 1/2").
    std::vector<std::pair<int, std::string>> GetMissingChannels() const;

    // Which devices a listing offers (it may block: it runs on the scanner's thread).
    using DeviceLister = std::function<std::vector<std::unique_ptr<OutputDevice>>()>;
    // Lists the devices again every `intervalMs` on a thread of its own, for Poll to pick up
    // what appeared. An empty lister lists the backend the last Initialize() used (none after
    // Initialize with candidates). Stopped by ReleaseDevices.
    void StartRescan(DeviceLister lister = {}, int intervalMs = kRescanIntervalMs);
    void StopRescan();
    // Lists again at once (tests; also when the operator asks). No-op without StartRescan.
    void RescanNow();
    static constexpr int kRescanIntervalMs = 1000;
    // The dropouts of every device so far (underruns they reported).
    uint64_t GetDropoutCount() const;

    // Closes and releases every device; the channel list is then empty. Every buffer created
    // on them must have been released first. A second call does nothing.
    void ReleaseDevices();

    int GetChannelCount() const { return static_cast<int>(m_channels.size()); }
    // The device of a channel, or null when there is no such channel.
    OutputDevice* GetDevice(int nChannel) const;
    // The opened devices in channel order (a device with several pairs appears once).
    int GetDeviceCount() const { return static_cast<int>(m_devices.size()); }
    OutputDevice* GetDeviceAt(int index) const;

    // The output format: 44100 frames per second, 16-bit, stereo.
    const WaveFormat& GetFormat() const { return m_format; }

    // One channel: a device's output pair, or its odd last output.
    struct Channel {
        OutputDevice* device = nullptr;
        uint32_t firstOutput = 0;
        uint32_t width = 2;  // 1 for a mono channel
        std::string name;    // the description, with the outputs when the device has pairs
        int missing = -1;    // while kept for a chosen device not found: its index; no device
    };
    // A channel, or null when there is no such channel.
    const Channel* GetChannel(int nChannel) const;
    // The channels a device of `outputs` outputs offers, in order (UI thread, any device).
    static std::vector<Channel> ChannelsOf(OutputDevice* device);
    static std::vector<Channel> ChannelsOf(const std::string& name, uint32_t outputs);

private:
    WaveFormat m_format;
    std::vector<std::unique_ptr<OutputDevice>> m_devices;
    std::vector<Channel> m_channels;
    // Per device (same index as m_devices): lost, and when a reopen was last tried.
    struct Watch {
        bool lost = false;
        std::chrono::steady_clock::time_point lastTry{};
    };
    std::vector<Watch> m_watch;
    // Opens a device handed over by the scanner, if it is a missing chosen one or (with no
    // choice) a new one; what changed is added to `changes`.
    void AdoptDevice(std::unique_ptr<OutputDevice> device, std::vector<DeviceChange>& changes);
    void AddDevice(std::unique_ptr<OutputDevice> device);
    void UpdateScanInterest();
    // The chosen devices not found; each keeps the channels whose `missing` is its index.
    struct Missing {
        std::string name;
        bool found = false;
    };
    std::vector<Missing> m_missing;
    std::vector<ChosenDevice> m_chosen;
    DeviceLister m_lister;  // the backend of the last Initialize()
    std::unique_ptr<DeviceScanner> m_scanner;
    QString m_failureHint;
    std::string m_preferredBackend = "auto";
    std::vector<ChosenDevice> m_preferredDevices;
};

// The one audio output of the program.
extern CSoundOutput theSoundOutput;
