#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

class CSoundOutput;
class QLabel;
class QStatusBar;

// Watches the audio output during the show: a few times a second it lets the output notice a
// lost device (whose cues then end as if killed) and reopen it when it is back, and open the
// devices that appeared (new ones as channels at the end, chosen ones missing until now into
// the channels kept for them); it says so in the status bar ("Output lost: <name>", "Output
// back: <name>", "Output added: <name>", "Output found: <name>"), and shows the dropouts the
// devices reported in a status pane ("Dropouts: 3") from the first one on, never hiding them.
//
// Threads: UI thread only.
class CDeviceWatch : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 200;
    static constexpr int kNoteMs = 10000;

    CDeviceWatch(CSoundOutput& output, QStatusBar* bar, QObject* parent = nullptr);

    // One look at the devices (the timer calls it; tests may too).
    void Check();
    QLabel* GetDropoutsPane() const { return m_pDropoutsPane; }

signals:
    // Channels were added, or missing ones found: their lists and the show check follow.
    void channelsChanged();

private:
    CSoundOutput& m_output;
    QStatusBar* m_pBar;
    QLabel* m_pDropoutsPane;
    QTimer m_timer;
    uint64_t m_shownDropouts = 0;
};
