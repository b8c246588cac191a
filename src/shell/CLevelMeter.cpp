#include "shell/CLevelMeter.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// How fast a held peak falls once its time is over, per reading.
constexpr float kHoldFall = 0.97f;

}  // namespace

CLevelMeter::CLevelMeter(QWidget* parent) : QWidget(parent) {
    setToolTip(tr("Peak and RMS level of this output; click to clear the clip marks"));
    for (auto& timer : m_heldSince) timer.start();
}

QSize CLevelMeter::sizeHint() const { return {220, 22}; }
QSize CLevelMeter::minimumSizeHint() const { return {60, 14}; }

double CLevelMeter::ScaleOf(float level) {
    if (!(level > 0.0f)) return 0.0;
    const double db = 20.0 * std::log10(static_cast<double>(level));
    return std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0);
}

void CLevelMeter::SetLevels(const std::array<float, 2>& peak, const std::array<float, 2>& rms) {
    bool changed = false;
    for (int side = 0; side < 2; ++side) {
        const float p = std::clamp(peak[side], 0.0f, 1.0f);
        const float r = std::clamp(rms[side], 0.0f, 1.0f);
        float held = m_held[side];
        if (p >= held) {
            held = p;
            m_heldSince[side].restart();
        } else if (m_heldSince[side].elapsed() > kHoldMs) {
            held = held * kHoldFall < 0.001f ? 0.0f : held * kHoldFall;
        }
        const bool clipped = m_clipped[side] || p >= kClipLevel;
        // Only a visible change repaints: a silent meter costs nothing.
        changed = changed || ScaleOf(p) != ScaleOf(m_peak[side]) ||
                  ScaleOf(r) != ScaleOf(m_rms[side]) || ScaleOf(held) != ScaleOf(m_held[side]) ||
                  clipped != m_clipped[side];
        m_peak[side] = p;
        m_rms[side] = r;
        m_held[side] = held;
        m_clipped[side] = clipped;
    }
    if (changed) update();
}

void CLevelMeter::ResetClip() {
    m_clipped = {false, false};
    update();
}

void CLevelMeter::mousePressEvent(QMouseEvent* event) {
    ResetClip();
    event->accept();
}

void CLevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Base).darker(140));
    const int clipWidth = 8;
    const int gap = 2;
    const int barWidth = std::max(1, width() - clipWidth - gap);
    const int barHeight = std::max(1, (height() - gap) / 2);
    const QColor rmsColour(46, 160, 67);
    const QColor peakColour(120, 220, 120);
    const QColor hotColour(230, 180, 40);
    for (int side = 0; side < 2; ++side) {
        const int y = side * (barHeight + gap);
        const auto rmsLength = static_cast<int>(ScaleOf(m_rms[side]) * barWidth);
        const auto peakLength = static_cast<int>(ScaleOf(m_peak[side]) * barWidth);
        // Above -6 dBFS the bar turns amber.
        const int hot = static_cast<int>((1.0 - 6.0 / -kFloorDb) * barWidth);
        painter.fillRect(0, y, std::min(peakLength, hot), barHeight, peakColour.darker(160));
        if (peakLength > hot) painter.fillRect(hot, y, peakLength - hot, barHeight, hotColour);
        painter.fillRect(0, y, std::min(rmsLength, hot), barHeight, rmsColour);
        const auto heldAt = static_cast<int>(ScaleOf(m_held[side]) * barWidth);
        if (heldAt > 0) painter.fillRect(std::max(0, heldAt - 2), y, 2, barHeight, peakColour);
        painter.fillRect(barWidth + gap, y, clipWidth, barHeight,
                         m_clipped[side] ? QColor(230, 30, 30) : QColor(70, 20, 20));
    }
}
