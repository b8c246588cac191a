#include "platform/sync/AutoResetEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

// Every playing cue holds nine events; raise the soft descriptor limit to the hard one once so
// that a show with many simultaneous cues does not run out of descriptors.
void RaiseDescriptorLimitOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_NOFILE, &limit);
        }
    });
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

AutoResetEvent::AutoResetEvent(bool initiallySet) {
    RaiseDescriptorLimitOnce();
    m_fd = eventfd(initiallySet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
}

AutoResetEvent::~AutoResetEvent() {
    if (m_fd >= 0) close(m_fd);
}

void AutoResetEvent::Set() {
    if (m_fd < 0) return;
    const uint64_t one = 1;
    // Never blocks: the counter cannot come near its limit with one increment per Set.
    [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
}

void AutoResetEvent::Reset() { TryWait(); }

bool AutoResetEvent::TryWait() {
    if (m_fd < 0) return false;
    uint64_t value = 0;
    for (;;) {
        const ssize_t got = read(m_fd, &value, sizeof value);
        if (got == static_cast<ssize_t>(sizeof value)) return true;
        if (got < 0 && errno == EINTR) continue;
        return false;  // EAGAIN: not signalled
    }
}

bool AutoResetEvent::Wait(int timeoutMs) {
    AutoResetEvent* self = this;
    return WaitForAny(std::span<AutoResetEvent* const>(&self, 1), timeoutMs) == 0;
}

int WaitForAny(std::span<AutoResetEvent* const> events, int timeoutMs) {
    if (events.empty()) return kWaitFailed;
    constexpr size_t kInline = 16;
    pollfd inlineFds[kInline];
    std::vector<pollfd> heapFds;
    pollfd* fds = inlineFds;
    if (events.size() > kInline) {
        heapFds.resize(events.size());
        fds = heapFds.data();
    }
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i] == nullptr || !events[i]->IsValid()) return kWaitFailed;
        fds[i] = pollfd{events[i]->NativeHandle(), POLLIN, 0};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int wait = timeoutMs < 0 ? -1 : RemainingMs(deadline);
        const int ready = poll(fds, events.size(), wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return kWaitFailed;
        }
        if (ready > 0) {
            for (size_t i = 0; i < events.size(); ++i) {
                if ((fds[i].revents & POLLIN) && events[i]->TryWait()) {
                    return static_cast<int>(i);
                }
                if (fds[i].revents & (POLLERR | POLLNVAL)) return kWaitFailed;
            }
            continue;  // another thread consumed the signal first
        }
        if (timeoutMs >= 0 && RemainingMs(deadline) == 0) return kWaitTimeout;
    }
}
