#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <array>

// A stereo level meter: for each side a bar of the RMS level with the peak drawn on it, a peak
// hold mark that stays for a moment and then falls, and a clip mark that stays lit until it is
// clicked. Scale -60..0 dBFS. Fed by the show panel about 30 times a second. UI thread.
class CLevelMeter : public QWidget {
    Q_OBJECT

public:
    static constexpr double kFloorDb = -60.0;
    static constexpr int kHoldMs = 1500;
    // A sample this close to full scale counts as clipped.
    static constexpr float kClipLevel = 0.999f;

    explicit CLevelMeter(QWidget* parent = nullptr);

    // One reading per side, as fractions of full scale.
    void SetLevels(const std::array<float, 2>& peak, const std::array<float, 2>& rms);

    float GetPeak(int side) const { return m_peak[side]; }
    float GetRms(int side) const { return m_rms[side]; }
    float GetHeldPeak(int side) const { return m_held[side]; }
    bool IsClipped(int side) const { return m_clipped[side]; }
    void ResetClip();

    // Fraction of the bar's length for a level (0 at the floor, 1 at full scale).
    static double ScaleOf(float level);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::array<float, 2> m_peak{};
    std::array<float, 2> m_rms{};
    std::array<float, 2> m_held{};
    std::array<QElapsedTimer, 2> m_heldSince;
    std::array<bool, 2> m_clipped{};
};
