#pragma once

#include <QWidget>
#include <memory>

class QSlider;
struct WaveformOverview;

// The play position bar: a thin bar holding one horizontal trackbar (0..100, page 10) whose
// position is the current cue's progress in percent, or where the next Go starts when nothing
// plays. The bar keeps no logic of its own: it reports every step of the operator's interaction
// with the trackbar, and the end of it, to whoever listens (the main frame), synchronously.
// UI thread only.
class CPositionBar : public QWidget {
    Q_OBJECT

public:
    // Notification codes of hScroll, in the manner of a scroll bar's.
    enum ScrollCode {
        kLineUp = 0,
        kLineDown = 1,
        kPageUp = 2,
        kPageDown = 3,
        kThumbPosition = 4,
        kThumbTrack = 5,
        kTop = 6,
        kBottom = 7,
        kEndScroll = 8,  // the key or mouse button that moved the thumb was released
    };

    explicit CPositionBar(QWidget* parent = nullptr);
    ~CPositionBar() override;

    // The trackbar (the frame reads and sets its position and enabled state directly).
    QSlider* GetSlider() const { return m_pSlider; }

    // The waveform drawn behind the thumb (null: none).
    void SetOverview(std::shared_ptr<const WaveformOverview> overview);
    const WaveformOverview* GetOverview() const { return m_overview.get(); }

signals:
    // One step of an interaction with the trackbar, with its position after the step.
    // Emitted synchronously (connect directly): the listener has acted before it returns.
    void hScroll(int code, int position, QSlider* slider);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnActionTriggered(int action);
    void Notify(int code);
    // Ends an interaction whose key or mouse release can no longer arrive (the trackbar lost
    // the focus, was disabled or hidden meanwhile), so that the listener never waits for it.
    void EndInterrupted(bool keyOnly);

    // Paints the trackbar with the waveform behind its thumb; false when there is none.
    bool PaintOverview();

    QSlider* m_pSlider = nullptr;
    std::shared_ptr<const WaveformOverview> m_overview;
    int m_overviewPeak = 1;  // the overview's loudest column
    bool m_bMouseDown = false;
    bool m_bThumbDragged = false;
    bool m_bKeyDown = false;  // a trackbar key is held down on the trackbar
    bool m_bInWheel = false;  // the trackbar is handling a turn of the mouse wheel
    bool m_bWheelMoved = false;
};
