#include "engine/DeviceScanner.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/audio/OutputDevice.h"

// Shared by the UI thread and the scanner's thread, so that a scanner given up on while its
// lister hangs can still finish safely.
struct DeviceScanner::State {
    Lister lister;
    std::chrono::milliseconds interval;
    std::mutex mutex;  // guards everything below
    std::condition_variable wake;
    bool stop = false;
    bool scanNow = false;
    bool finished = false;
    bool onlyNamed = false;
    std::vector<std::string> names;
    std::vector<std::unique_ptr<OutputDevice>> found;
    uint64_t scans = 0;
};

DeviceScanner::DeviceScanner(Lister lister, std::chrono::milliseconds interval)
    : m_state(std::make_shared<State>()) {
    m_state->lister = std::move(lister);
    m_state->interval = interval;
    std::thread(&DeviceScanner::Run, m_state).detach();
}

DeviceScanner::~DeviceScanner() {
    std::vector<std::unique_ptr<OutputDevice>> found;
    {
        std::unique_lock lock(m_state->mutex);
        m_state->stop = true;
        m_state->wake.notify_all();
        m_state->wake.wait_for(lock, kStopTimeout, [this] { return m_state->finished; });
        found.swap(m_state->found);
    }
}

void DeviceScanner::SetInterest(bool onlyNamed, std::vector<std::string> names) {
    std::lock_guard lock(m_state->mutex);
    m_state->onlyNamed = onlyNamed;
    m_state->names = std::move(names);
}

std::vector<std::unique_ptr<OutputDevice>> DeviceScanner::Take() {
    std::lock_guard lock(m_state->mutex);
    return std::exchange(m_state->found, {});
}

void DeviceScanner::ScanNow() {
    std::lock_guard lock(m_state->mutex);
    m_state->scanNow = true;
    m_state->wake.notify_all();
}

uint64_t DeviceScanner::GetScanCount() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->scans;
}

// The scanner's thread.
void DeviceScanner::Run(std::shared_ptr<State> state) {
    std::unique_lock lock(state->mutex);
    while (true) {
        state->wake.wait_for(lock, state->interval, [&] { return state->stop || state->scanNow; });
        if (state->stop) break;
        state->scanNow = false;
        const bool onlyNamed = state->onlyNamed;
        const std::vector<std::string> names = state->names;
        lock.unlock();

        std::vector<std::unique_ptr<OutputDevice>> listed;
        if (!(onlyNamed && names.empty())) {
            try {
                listed = state->lister();
            } catch (...) {
                listed.clear();  // a listing that fails finds nothing; the next one may
            }
        }
        std::vector<std::unique_ptr<OutputDevice>> wanted;
        for (auto& device : listed) {
            if (!device) continue;
            const bool named =
                std::find(names.begin(), names.end(), device->GetDescription()) != names.end();
            if (named == onlyNamed) wanted.push_back(std::move(device));
        }
        listed.clear();  // the others are released here, not on the UI thread

        lock.lock();
        ++state->scans;
        if (state->stop) break;
        // The latest listing replaces one the UI thread has not taken yet.
        std::swap(state->found, wanted);
        lock.unlock();
        wanted.clear();
        lock.lock();
    }
    state->finished = true;
    state->wake.notify_all();
}
