#pragma once

#include <QtGlobal>
#include <functional>

// Refuses a Go that follows the previous accepted Go too closely: a nervous double press must
// not fire two cues. The window is in milliseconds, 0 turns the guard off. The clock is a
// monotonic millisecond count, replaceable for tests. UI thread.
class DoubleGoGuard {
public:
    using Clock = std::function<qint64()>;

    DoubleGoGuard();

    void SetWindowMs(int ms) { m_windowMs = ms < 0 ? 0 : ms; }
    int GetWindowMs() const { return m_windowMs; }
    void SetClock(Clock clock);

    // Whether a Go pressed now counts; an accepted Go starts a new window, a refused one does
    // not (a held key cannot keep the guard shut for ever).
    bool Accept();

private:
    Clock m_clock;
    int m_windowMs = 0;
    bool m_hasPrevious = false;
    qint64 m_previousMs = 0;
};
