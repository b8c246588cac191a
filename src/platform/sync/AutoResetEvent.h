#pragma once

#include <span>

// An auto-reset event: Set() leaves it signalled until exactly one wait consumes the signal.
// Several Set() calls before a wait collapse into one signal, as with any auto-reset event.
//
// Threads: any thread may call Set(), including a device's mixing thread: Set() is one
// non-blocking eventfd write, it takes no lock and never allocates. Waits are made by the
// thread that owns the event (a player's worker, the UI thread in Start); one waiter at a time.
class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initiallySet = false);
    ~AutoResetEvent();
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // False when the system refused an event (file descriptor limit): such an event is never
    // signalled and every wait on it fails.
    bool IsValid() const { return m_fd >= 0; }

    // Any thread, real-time safe.
    void Set();
    // Clears a pending signal. Owner thread.
    void Reset();
    // Waits for the signal and consumes it. timeoutMs < 0 waits without time-out.
    // Returns true when the signal was consumed, false on time-out or failure. Owner thread.
    bool Wait(int timeoutMs = -1);
    // Consumes a pending signal without waiting; false when there was none. Owner thread.
    bool TryWait();

    // The descriptor that becomes readable while the event is signalled (for WaitForAny).
    int NativeHandle() const { return m_fd; }

private:
    int m_fd = -1;
};

inline constexpr int kWaitTimeout = -1;
inline constexpr int kWaitFailed = -2;

// Waits until at least one of the events is signalled and consumes the signal of the lowest
// index among those signalled; returns that index. Returns kWaitTimeout when timeoutMs
// (>= 0) passed first, kWaitFailed when an event is invalid, null or the list is empty.
// Called by the owner of the events (a player's worker).
int WaitForAny(std::span<AutoResetEvent* const> events, int timeoutMs = -1);
