#include "view/DoubleGoGuard.h"

#include <QElapsedTimer>
#include <memory>

DoubleGoGuard::DoubleGoGuard() { SetClock({}); }

void DoubleGoGuard::SetClock(Clock clock) {
    if (clock) {
        m_clock = std::move(clock);
        return;
    }
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return timer->elapsed(); };
}

bool DoubleGoGuard::Accept() {
    const qint64 now = m_clock();
    if (m_windowMs > 0 && m_hasPrevious && now - m_previousMs < m_windowMs) return false;
    m_hasPrevious = true;
    m_previousMs = now;
    return true;
}
