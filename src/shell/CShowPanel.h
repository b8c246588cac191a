#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class CCuePlayer;
class CLevelMeter;
class CMVView;
class CQRecord;
class CWrapLabel;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QVBoxLayout;

// The operator's show panel beside the cue list: what Go starts next in large type, one line
// per sounding cue (newest first) with its progress, elapsed time, time to go, level, speed and
// its own Stop and Fade buttons, a level meter per output, a failure line, and large GO and
// STOP ALL buttons. It reads the players through the same time queries as the status bar, about
// 25 times a second while cues sound, and does nothing while nothing sounds. UI thread.
class CShowPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 40;
    static constexpr int kMeterMs = 33;
    static constexpr int kIdleMeterMs = 200;

    // One output's meter reading: peak and RMS per side, fractions of full scale.
    struct MeterReading {
        std::array<float, 2> peak{};
        std::array<float, 2> rms{};
    };
    struct MeterSource {
        std::function<int()> count;        // channels
        std::function<QString(int)> name;  // a channel's name
        // Every channel's levels since the previous call, in channel order.
        std::function<std::vector<MeterReading>()> take;
    };

    explicit CShowPanel(CMVView* view, QWidget* parent = nullptr);

    void SetMeterSource(MeterSource source);
    // Where the NEXT block finds a cue's length as text ("" while it is not known yet).
    void SetDurationSource(std::function<QString(const CQRecord*)> source);

    // Brings the NEXT block and the PLAYING lines up to date now.
    void Refresh();
    void RefreshNext();
    void RefreshPlaying();
    void RefreshMeters();
    // Adds the meters of channels that appeared and names every meter again (a missing
    // channel found). UI thread.
    void RefreshMeterNames();

    // ---- What the panel shows (tests, screenshots) ----
    QString GetNextText() const;
    // One text per PLAYING line, newest first: ID, description, times, level and speed.
    QStringList GetPlayingTexts() const;
    int GetPlayingCount() const { return static_cast<int>(m_rows.size()); }
    CCuePlayer* GetPlayingPlayer(int line) const;
    int GetProgress(int line) const;  // 0..1000
    QToolButton* GetStopButton(int line) const;
    QToolButton* GetFadeButton(int line) const;
    QPushButton* GetGoButton() const { return m_pGo; }
    QPushButton* GetStopAllButton() const { return m_pStopAll; }
    QList<CLevelMeter*> GetMeters() const { return m_meters; }
    QStringList GetMeterNames() const;
    bool IsRefreshing() const { return m_refreshTimer.isActive(); }

    void ShowFailure(const QString& text);
    void DismissFailure();
    QString GetFailureText() const;

    // Times as the panel writes them: "m:ss.t" (minutes unlimited); levels "-6.0 dB" or
    // "-inf dB"; speeds "x1.50".
    static QString FormatClock(uint32_t ms);
    static QString FormatLevel(int32_t hundredths);
    static QString FormatSpeed(double ratio);

signals:
    // GO or STOP ALL pressed (ID_AUDIO_GO, ID_AUDIO_STOPALL).
    void commandRequested(int id);
    void failureDismissed();

private:
    struct Row {
        CCuePlayer* player = nullptr;  // identity only: the view owns it
        QWidget* widget = nullptr;
        CWrapLabel* title = nullptr;  // one line, elided
        QProgressBar* progress = nullptr;
        QLabel* times = nullptr;
        QLabel* level = nullptr;
        QToolButton* stop = nullptr;
        QToolButton* fade = nullptr;
    };

    void RebuildRows(const std::vector<CCuePlayer*>& players);
    void UpdateRow(Row& row);
    void EnsureMeters();

    QPointer<CMVView> m_pView;
    std::function<QString(const CQRecord*)> m_duration;
    MeterSource m_meterSource;

    CWrapLabel* m_pNextTitle = nullptr;
    CWrapLabel* m_pNextInfo = nullptr;
    QLabel* m_pFailure = nullptr;
    QToolButton* m_pDismiss = nullptr;
    QWidget* m_pFailureBox = nullptr;
    QVBoxLayout* m_pPlayingLayout = nullptr;
    QLabel* m_pNothingPlaying = nullptr;
    QVBoxLayout* m_pMeterLayout = nullptr;
    QPushButton* m_pGo = nullptr;
    QPushButton* m_pStopAll = nullptr;

    std::vector<Row> m_rows;
    QList<CLevelMeter*> m_meters;
    QList<QLabel*> m_meterNames;
    QTimer m_refreshTimer;
    QTimer m_meterTimer;
};
