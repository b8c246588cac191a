#pragma once

// A JACK client of the tests that stands for what is downstream of the program: input ports
// whose peak levels it measures every period, whose first sound it time-stamps, and whose
// samples it can record; plus the patchbay operations an operator would make. It joins the
// server $JACK_DEFAULT_SERVER names.
//
// Threads: the process callback runs on JACK's real-time thread and touches only atomics and
// the preallocated recording; everything else on the test's thread.
#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

class JackMeter {
public:
    static constexpr int kMaxPorts = 16;

    explicit JackMeter(int ports, const char* name = "meter", size_t recordFrames = 0)
        : m_count(std::min(ports, kMaxPorts)) {
        m_record.resize(recordFrames);
        jack_status_t status{};
        m_client = jack_client_open(name, JackNoStartServer, &status);
        if (m_client == nullptr) return;
        for (int i = 0; i < m_count; ++i) {
            m_ports[i] = jack_port_register(m_client, ("in_" + std::to_string(i + 1)).c_str(),
                                            JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        }
        jack_set_process_callback(m_client, &JackMeter::Process, this);
        jack_on_info_shutdown(
            m_client,
            [](jack_status_t, const char*, void* self) {
                static_cast<JackMeter*>(self)->m_gone.store(true);
            },
            this);
        if (jack_activate(m_client) != 0) Close();
    }
    ~JackMeter() { Close(); }
    JackMeter(const JackMeter&) = delete;
    JackMeter& operator=(const JackMeter&) = delete;

    bool IsValid() const { return m_client != nullptr; }
    jack_client_t* Client() const { return m_client; }
    std::string PortName(int i) const { return jack_port_name(m_ports[i]); }

    // Each port's highest absolute sample since the last call.
    std::vector<float> TakePeaks() {
        std::vector<float> peaks(m_count);
        for (int i = 0; i < m_count; ++i) peaks[i] = m_peaks[i].exchange(0.0f);
        return peaks;
    }
    uint64_t Cycles() const { return m_cycles.load(); }

    // Time-stamps the next period in which port `port` carries sound (steady clock).
    void Arm(int port) {
        m_heardNs.store(0);
        m_armedPort.store(port);
    }
    bool Heard(std::chrono::steady_clock::time_point* when, uint32_t* offset = nullptr) const {
        const int64_t ns = m_heardNs.load();
        if (ns == 0) return false;
        *when = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
        if (offset != nullptr) *offset = m_heardOffset.load();
        return true;
    }

    // Records port `port` from its first sound on, into the preallocated recording.
    void Record(int port) {
        m_recorded.store(0);
        m_recordPort.store(port);
    }
    // The recording so far (complete once it is full).
    std::vector<float> Recording() const {
        const size_t n = m_recorded.load();
        return std::vector<float>(m_record.begin(), m_record.begin() + static_cast<long>(n));
    }

    // The full names of the ports connected to `port` (any client's port).
    std::vector<std::string> ConnectionsOf(const std::string& port) const {
        std::vector<std::string> names;
        jack_port_t* p = jack_port_by_name(m_client, port.c_str());
        if (p == nullptr) return names;
        if (const char** list = jack_port_get_all_connections(m_client, p)) {
            for (size_t i = 0; list[i] != nullptr; ++i) names.emplace_back(list[i]);
            jack_free(list);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Connect(const std::string& from, const std::string& to) {
        return jack_connect(m_client, from.c_str(), to.c_str()) == 0;
    }
    bool Disconnect(const std::string& from, const std::string& to) {
        return jack_disconnect(m_client, from.c_str(), to.c_str()) == 0;
    }
    // Connects our port i to the source port `sources[i]` for each i.
    bool Listen(const std::vector<std::string>& sources) {
        bool ok = true;
        for (size_t i = 0; i < sources.size() && static_cast<int>(i) < m_count; ++i) {
            ok = Connect(sources[i], PortName(static_cast<int>(i))) && ok;
        }
        return ok;
    }

    void Close() {
        if (m_client != nullptr) {
            if (!m_gone.load()) jack_deactivate(m_client);
            jack_client_close(m_client);
            m_client = nullptr;
        }
    }

private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackMeter*>(arg);
        const int armed = self->m_armedPort.load();
        const int recording = self->m_recordPort.load();
        for (int i = 0; i < self->m_count; ++i) {
            const auto* in =
                static_cast<const float*>(jack_port_get_buffer(self->m_ports[i], frames));
            float peak = 0.0f;
            int32_t first = -1;
            for (jack_nframes_t f = 0; f < frames; ++f) {
                const float a = std::fabs(in[f]);
                if (a > 0.0f && first < 0) first = static_cast<int32_t>(f);
                peak = std::max(peak, a);
            }
            float held = self->m_peaks[i].load();
            while (peak > held && !self->m_peaks[i].compare_exchange_weak(held, peak)) {
            }
            if (i == armed && first >= 0 && self->m_heardNs.load() == 0) {
                self->m_heardOffset.store(static_cast<uint32_t>(first));
                self->m_heardNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
                self->m_armedPort.store(-1);
            }
            if (i == recording) {
                size_t done = self->m_recorded.load();
                jack_nframes_t f = done == 0 ? static_cast<jack_nframes_t>(std::max(first, 0)) : 0;
                if (done == 0 && first < 0) f = frames;
                for (; f < frames && done < self->m_record.size(); ++f) {
                    self->m_record[done++] = in[f];
                }
                self->m_recorded.store(done);
            }
        }
        self->m_cycles.fetch_add(1);
        return 0;
    }

    int m_count;
    jack_client_t* m_client = nullptr;
    std::array<jack_port_t*, kMaxPorts> m_ports{};
    std::array<std::atomic<float>, kMaxPorts> m_peaks{};
    std::atomic<uint64_t> m_cycles{0};
    std::atomic<int> m_armedPort{-1};
    std::atomic<int64_t> m_heardNs{0};
    std::atomic<uint32_t> m_heardOffset{0};
    std::atomic<int> m_recordPort{-1};
    std::atomic<size_t> m_recorded{0};
    std::vector<float> m_record;
    std::atomic<bool> m_gone{false};
};
