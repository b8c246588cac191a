#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/OutputDevice.h"

struct _jack_client;
struct _jack_port;

// A JACK server as one output device, reached through libjack directly: one output port per
// output, as many outputs as the server has physical playback ports (up to 64). The mixer runs
// once per JACK period in the server's process cycle, at the server's period (which may change
// while open) and the server's rate (the mix is converted when that is not 44100 Hz).
//
// Ports are named after the channels: "ch2-out5-L", "ch2-out6-R", an odd last output
// "ch3-out7-mono". At Open each port the operator has not connected goes to the physical
// playback port of the same number; a port the operator connected elsewhere in an earlier
// session of this device is connected there again instead. Connections are never undone.
//
// Threads: Open/Close/IsLost/GetPlaybackLatencyFrames/GetPortName on the UI thread; Process on
// JACK's real-time thread; the shutdown, xrun, buffer-size and port-connect callbacks on JACK's
// notification threads. Enumerate on any thread.
class JackDevice : public OutputDevice {
public:
    static constexpr const char* kClientName = "Marvane";
    // Frames converted per step of the process callback: any period is handled, in steps.
    static constexpr uint32_t kChunkFrames = 4096;

    // `serverName` empty: the default server ($JACK_DEFAULT_SERVER or "default").
    JackDevice(std::string description, uint32_t outputs, uint32_t rate,
               std::string serverName = {});
    ~JackDevice() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_client.load(std::memory_order_acquire) != nullptr; }
    uint32_t GetPeriodFrames() const override {
        return m_periodFrames.load(std::memory_order_relaxed);
    }
    // The server shut our client down (it stopped, restarted or dropped us).
    bool IsLost() const override;
    // Xruns the server reported while we were connected.
    uint64_t GetDropoutCount() const override { return m_xruns.load(std::memory_order_relaxed); }

    // The full name of an output's port ("Marvane:ch0-out1-L"), empty when closed.
    std::string GetPortName(uint32_t output) const;
    // The ports an output's port is connected to, as far as the device has been told (JACK
    // reports connections a moment after they are made). UI thread.
    std::vector<std::string> GetConnections(uint32_t output);
    // The short port name of an output of a device with `outputs` outputs.
    static std::string PortShortName(uint32_t output, uint32_t outputs);
    // The largest playback latency JACK reports from our ports to the speakers, in frames.
    uint32_t GetPlaybackLatencyFrames() const;
    // Disconnections this shortly before the server shut the client down are taken for the
    // server's doing (it removes its own ports as it stops), not the operator's.
    static constexpr int64_t kShutdownDisconnectsNs = 2'000'000'000;
    // Process cycles run since the device was made (diagnostics, any thread).
    uint64_t GetCycleCount() const { return m_cycles.load(std::memory_order_relaxed); }

    // The JACK server as a device, not opened: described by the client name of its physical
    // playback ports ("system"), with one output per such port, at the server's rate. Empty
    // when no server answers. Asks the client of a device of this process that is open on the
    // server, else opens and closes a short-lived client; any thread.
    static std::vector<std::unique_ptr<OutputDevice>> Enumerate(const std::string& serverName = {});

private:
    // JACK's callbacks (process, shutdown, xrun, buffer size, port connect).
    friend struct JackCallbacks;

    // UI thread, after activation: connects every port as the class comment says.
    void ConnectPorts();
    void CloseClient();

    std::string m_serverName;
    // Written by the UI thread, read by the port-connect callback.
    std::atomic<_jack_client*> m_client{nullptr};
    // Written by the UI thread before activation, read by JACK's threads.
    std::array<std::atomic<_jack_port*>, kMaxOutputs> m_ports{};
    std::atomic<uint32_t> m_periodFrames{0};
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_tracking{false};  // whether the port-connect callback records
    std::atomic<uint64_t> m_xruns{0};
    std::atomic<uint64_t> m_cycles{0};
    // The process callback's mix, interleaved (outputs * kChunkFrames), made at construction.
    std::vector<int16_t> m_scratch;
    // Each port's peers as the port-connect callback saw them (notification thread), read at
    // Open (UI thread): peer name -> 0 while connected, else when it was disconnected (steady
    // clock, ns). A server that stops disconnects its own ports just before it shuts our client
    // down; those connections are not the operator's doing, and a reopen restores them.
    std::mutex m_connectionsMutex;
    std::vector<std::map<std::string, int64_t>> m_connections;
    int64_t m_shutdownNs = 0;  // under m_connectionsMutex; when the server shut us down
};
