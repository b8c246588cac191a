#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class OutputDevice;

// Lists the output devices again and again on a thread of its own, because a listing may block
// (probing ALSA cards, connecting to a sound server), and keeps the devices of interest it found
// for the UI thread to take and open. The devices handed over are not opened.
//
// Threads: every member function is called on the UI thread; the lister runs on the scanner's
// thread only.
class DeviceScanner {
public:
    using Lister = std::function<std::vector<std::unique_ptr<OutputDevice>>()>;

    // Starts the thread; the first listing comes one interval from now.
    DeviceScanner(Lister lister, std::chrono::milliseconds interval);
    // Stops the thread. A listing that hangs is given up on after kStopTimeout (its thread then
    // ends on its own), so that quitting never hangs on a sound server.
    ~DeviceScanner();
    DeviceScanner(const DeviceScanner&) = delete;
    DeviceScanner& operator=(const DeviceScanner&) = delete;

    static constexpr std::chrono::milliseconds kStopTimeout{2000};

    // Which devices are of interest from the next listing on: with `onlyNamed`, the devices
    // named in `names` (nothing when it is empty; then nothing is listed either); otherwise
    // every device whose name is not in `names`.
    void SetInterest(bool onlyNamed, std::vector<std::string> names);
    // The devices of interest of the latest listing not taken yet; empty when there are none.
    std::vector<std::unique_ptr<OutputDevice>> Take();
    // Lists again now rather than at the end of the interval.
    void ScanNow();
    // Listings finished so far.
    uint64_t GetScanCount() const;

private:
    struct State;
    static void Run(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};
