#include "platform/audio/JackDevice.h"

#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "platform/audio/DeviceMixer.h"

namespace {

// libjack prints to stderr whenever no server answers, which the reopen attempts of a lost
// device would do twice a second; the device reports its own errors instead.
void Quiet(const char*) {}

void SilenceLibjack() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(&Quiet);
        jack_set_info_function(&Quiet);
    });
}

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

jack_client_t* OpenClient(const char* name, const std::string& serverName) {
    SilenceLibjack();
    jack_status_t status{};
    if (serverName.empty()) return jack_client_open(name, JackNoStartServer, &status);
    return jack_client_open(name, static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                            &status, serverName.c_str());
}

// The physical playback ports, in the server's order (free with jack_free; may be null).
const char** PhysicalPlaybackPorts(jack_client_t* client) {
    return jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                          JackPortIsPhysical | JackPortIsInput);
}

// The clients of the devices open in this process, by server name, so that a listing (every
// second, on the device scanner's thread) asks an open client rather than joining the server
// with a client of its own each time. A device leaves before its client is closed; the listing
// holds the lock while it uses the client.
std::mutex g_openMutex;
std::vector<std::pair<std::string, const JackDevice*>> g_open;

}  // namespace

struct JackCallbacks {
    // JACK's real-time thread: one period of the mix onto the ports. No allocation, no lock.
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackDevice*>(arg);
        const uint32_t outputs = self->GetOutputCount();
        std::array<float*, OutputDevice::kMaxOutputs> ports{};
        for (uint32_t o = 0; o < outputs; ++o) {
            jack_port_t* port = self->m_ports[o].load(std::memory_order_acquire);
            ports[o] =
                port != nullptr ? static_cast<float*>(jack_port_get_buffer(port, frames)) : nullptr;
        }
        DeviceMixer& mixer = *self->GetMixer();
        int16_t* mix = self->m_scratch.data();
        constexpr float kScale = 1.0f / 32768.0f;
        for (uint32_t done = 0; done < frames;) {
            const uint32_t n = std::min(frames - done, JackDevice::kChunkFrames);
            mixer.Mix(mix, n);
            for (uint32_t o = 0; o < outputs; ++o) {
                float* to = ports[o];
                if (to == nullptr) continue;
                to += done;
                for (uint32_t f = 0; f < n; ++f) {
                    to[f] = static_cast<float>(mix[static_cast<size_t>(f) * outputs + o]) * kScale;
                }
            }
            done += n;
        }
        self->m_cycles.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }

    static void Shutdown(jack_status_t, const char*, void* arg) {
        auto* self = static_cast<JackDevice*>(arg);
        {
            std::lock_guard<std::mutex> lock(self->m_connectionsMutex);
            self->m_shutdownNs = NowNs();
        }
        self->m_lost.store(true, std::memory_order_release);
    }

    static int Xrun(void* arg) {
        static_cast<JackDevice*>(arg)->m_xruns.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }

    static int BufferSize(jack_nframes_t frames, void* arg) {
        static_cast<JackDevice*>(arg)->m_periodFrames.store(frames, std::memory_order_relaxed);
        return 0;
    }

    // Notification thread: keeps each of our ports' peers, so that a reopen restores them.
    static void PortConnect(jack_port_id_t a, jack_port_id_t b, int connect, void* arg) {
        auto* self = static_cast<JackDevice*>(arg);
        if (!self->m_tracking.load(std::memory_order_acquire)) return;
        jack_client_t* client = self->m_client.load(std::memory_order_acquire);
        if (client == nullptr) return;
        jack_port_t* portA = jack_port_by_id(client, a);
        jack_port_t* portB = jack_port_by_id(client, b);
        if (portA == nullptr || portB == nullptr) return;
        const uint32_t outputs = self->GetOutputCount();
        for (uint32_t o = 0; o < outputs; ++o) {
            jack_port_t* ours = self->m_ports[o].load(std::memory_order_acquire);
            jack_port_t* peer = ours == portA ? portB : ours == portB ? portA : nullptr;
            if (peer == nullptr) continue;
            const char* name = jack_port_name(peer);
            if (name == nullptr) return;
            std::lock_guard<std::mutex> lock(self->m_connectionsMutex);
            if (connect != 0) {
                self->m_connections[o][name] = 0;
            } else if (auto entry = self->m_connections[o].find(name);
                       entry != self->m_connections[o].end()) {
                entry->second = NowNs();
            }
            return;
        }
    }
};

JackDevice::JackDevice(std::string description, uint32_t outputs, uint32_t rate,
                       std::string serverName)
    : OutputDevice(std::move(description), outputs, rate),
      m_serverName(std::move(serverName)),
      m_scratch(static_cast<size_t>(GetOutputCount()) * kChunkFrames),
      m_connections(GetOutputCount()) {
    for (auto& port : m_ports) port.store(nullptr, std::memory_order_relaxed);
}

JackDevice::~JackDevice() { Close(); }

std::string JackDevice::PortShortName(uint32_t output, uint32_t outputs) {
    const uint32_t channel = output / 2;
    std::string side = output % 2 == 0 ? "L" : "R";
    if (output % 2 == 0 && output + 1 >= outputs) side = "mono";
    return "ch" + std::to_string(channel) + "-out" + std::to_string(output + 1) + "-" + side;
}

bool JackDevice::Open() {
    if (IsOpen()) return true;
    if (!GetMixer()->IsReady()) {
        SetLastError("No rate converter to " + std::to_string(GetSampleRate()) + " Hz");
        return false;
    }
    jack_client_t* client = OpenClient(kClientName, m_serverName);
    if (client == nullptr) {
        SetLastError("No JACK server answered");
        return false;
    }
    const uint32_t rate = jack_get_sample_rate(client);
    if (rate != GetSampleRate()) {
        // The mixer was made for the rate the server had when the program started.
        jack_client_close(client);
        SetLastError("The JACK server now runs at " + std::to_string(rate) + " Hz instead of " +
                     std::to_string(GetSampleRate()) +
                     " Hz; start it at that rate again, or restart the program");
        return false;
    }
    const uint32_t outputs = GetOutputCount();
    for (uint32_t o = 0; o < outputs; ++o) {
        jack_port_t* port = jack_port_register(client, PortShortName(o, outputs).c_str(),
                                               JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (port == nullptr) {
            jack_client_close(client);
            for (auto& p : m_ports) p.store(nullptr, std::memory_order_relaxed);
            SetLastError("JACK refused the output port " + PortShortName(o, outputs));
            return false;
        }
        m_ports[o].store(port, std::memory_order_release);
    }
    jack_set_process_callback(client, &JackCallbacks::Process, this);
    jack_on_info_shutdown(client, &JackCallbacks::Shutdown, this);
    jack_set_xrun_callback(client, &JackCallbacks::Xrun, this);
    jack_set_buffer_size_callback(client, &JackCallbacks::BufferSize, this);
    jack_set_port_connect_callback(client, &JackCallbacks::PortConnect, this);
    m_periodFrames.store(jack_get_buffer_size(client), std::memory_order_relaxed);
    m_lost.store(false, std::memory_order_release);
    m_client.store(client, std::memory_order_release);
    // What the previous session's ports were connected to; the new session's record starts
    // empty and fills as connections are made.
    std::vector<std::vector<std::string>> remembered(outputs);
    {
        std::lock_guard<std::mutex> lock(m_connectionsMutex);
        for (uint32_t o = 0; o < outputs; ++o) {
            for (const auto& [peer, disconnectedNs] : m_connections[o]) {
                const bool byShutdown = m_shutdownNs != 0 && disconnectedNs != 0 &&
                                        disconnectedNs > m_shutdownNs - kShutdownDisconnectsNs;
                if (disconnectedNs == 0 || byShutdown) remembered[o].push_back(peer);
            }
            m_connections[o].clear();
        }
        m_shutdownNs = 0;
    }
    m_tracking.store(true, std::memory_order_release);
    if (jack_activate(client) != 0) {
        CloseClient();
        SetLastError("The JACK server did not start our client");
        return false;
    }
    // Ports someone connected already (a patchbay) are left as they are.
    const char** physical = PhysicalPlaybackPorts(client);
    uint32_t physicalCount = 0;
    while (physical != nullptr && physical[physicalCount] != nullptr) ++physicalCount;
    for (uint32_t o = 0; o < outputs; ++o) {
        jack_port_t* port = m_ports[o].load(std::memory_order_relaxed);
        if (jack_port_connected(port) > 0) continue;
        const char* ours = jack_port_name(port);
        bool connected = false;
        for (const std::string& peer : remembered[o]) {
            if (jack_connect(client, ours, peer.c_str()) == 0) connected = true;
        }
        if (connected) continue;
        // A port the operator had connected only to ports that are gone (their program has not
        // come back) plays on its speaker meanwhile rather than on nothing.
        if (o < physicalCount) jack_connect(client, ours, physical[o]);
    }
    if (physical != nullptr) jack_free(physical);
    std::lock_guard<std::mutex> lock(g_openMutex);
    g_open.emplace_back(m_serverName, this);
    return true;
}

void JackDevice::CloseClient() {
    {
        std::lock_guard<std::mutex> lock(g_openMutex);
        g_open.erase(std::remove_if(g_open.begin(), g_open.end(),
                                    [this](const auto& entry) { return entry.second == this; }),
                     g_open.end());
    }
    m_tracking.store(false, std::memory_order_release);
    jack_client_t* client = m_client.exchange(nullptr, std::memory_order_acq_rel);
    // After a shutdown the client may only be closed; otherwise stop the process cycle first so
    // that no callback runs while the ports go.
    if (!m_lost.load(std::memory_order_acquire)) jack_deactivate(client);
    jack_client_close(client);
    for (auto& port : m_ports) port.store(nullptr, std::memory_order_relaxed);
}

void JackDevice::Close() {
    if (IsOpen()) CloseClient();
}

bool JackDevice::IsLost() const { return IsOpen() && m_lost.load(std::memory_order_acquire); }

std::string JackDevice::GetPortName(uint32_t output) const {
    if (!IsOpen() || output >= GetOutputCount()) return {};
    jack_port_t* port = m_ports[output].load(std::memory_order_relaxed);
    const char* name = port != nullptr ? jack_port_name(port) : nullptr;
    return name != nullptr ? name : std::string();
}

std::vector<std::string> JackDevice::GetConnections(uint32_t output) {
    std::lock_guard<std::mutex> lock(m_connectionsMutex);
    std::vector<std::string> peers;
    if (output >= m_connections.size()) return peers;
    for (const auto& [peer, disconnectedNs] : m_connections[output]) {
        if (disconnectedNs == 0) peers.push_back(peer);
    }
    return peers;
}

uint32_t JackDevice::GetPlaybackLatencyFrames() const {
    if (!IsOpen() || m_lost.load(std::memory_order_acquire)) return 0;
    uint32_t worst = 0;
    for (uint32_t o = 0; o < GetOutputCount(); ++o) {
        jack_port_t* port = m_ports[o].load(std::memory_order_relaxed);
        if (port == nullptr) continue;
        jack_latency_range_t range{};
        jack_port_get_latency_range(port, JackPlaybackLatency, &range);
        worst = std::max(worst, range.max);
    }
    return worst;
}

std::vector<std::unique_ptr<OutputDevice>> JackDevice::Enumerate(const std::string& serverName) {
    std::vector<std::unique_ptr<OutputDevice>> devices;
    std::unique_lock<std::mutex> lock(g_openMutex);
    jack_client_t* client = nullptr;
    for (const auto& [server, device] : g_open) {
        if (server == serverName && !device->m_lost.load(std::memory_order_acquire)) {
            client = device->m_client.load(std::memory_order_acquire);
            break;
        }
    }
    const bool own = client == nullptr;
    if (own) {
        lock.unlock();
        client = OpenClient("Marvane-scan", serverName);
        if (client == nullptr) return devices;
    }
    const char** physical = PhysicalPlaybackPorts(client);
    uint32_t count = 0;
    std::string name = "JACK";
    if (physical != nullptr) {
        while (physical[count] != nullptr) ++count;
        if (count > 0) {
            const std::string first = physical[0];
            name = first.substr(0, first.find(':'));
        }
        jack_free(physical);
    }
    const uint32_t rate = jack_get_sample_rate(client);
    if (own) jack_client_close(client);
    // A server without speakers still gets a stereo device, for the operator to connect.
    const uint32_t outputs = count == 0 ? kChannels : std::min(count, kMaxOutputs);
    devices.push_back(std::make_unique<JackDevice>(name, outputs, rate, serverName));
    return devices;
}
