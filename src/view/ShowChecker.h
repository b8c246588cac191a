#pragma once

#include <QObject>
#include <QThreadPool>
#include <cstdint>

#include "engine/ShowCheck.h"

// Runs the show check in the background: the view hands it a snapshot of the cues whenever the
// list may have changed, and it reports when a new report is there. A request that repeats the
// last one is ignored; a report overtaken by a newer request is dropped. It never touches a
// record and never holds a player's lock, so it cannot delay a Go.
//
// Threads: every member is called on the UI thread; the check itself runs on a pool thread of
// its own and hands its report back by a queued call.
class ShowChecker : public QObject {
    Q_OBJECT
public:
    explicit ShowChecker(QObject* parent = nullptr);
    // Waits for a check that is running (it is short: one header read per file).
    ~ShowChecker() override;

    // Checks `cues` against `channelCount` outputs (-1: channels not judged), of which
    // `missingChannels` are kept for devices that are not connected.
    void Request(const QList<showcheck::CueSnapshot>& cues, int channelCount,
                 const QHash<int, QString>& missingChannels = {});
    // Checks the last request again, also when nothing changed (files may have come or gone).
    void Recheck();

    const showcheck::Report& GetReport() const { return m_report; }
    bool IsChecking() const { return m_pending != m_done; }
    // Waits for the running check and delivers its report (tests and the command line).
    void WaitForReport();

signals:
    // A new report is there (GetReport).
    void checked();

private:
    void Start();

    QThreadPool m_pool;
    QList<showcheck::CueSnapshot> m_cues;
    int m_channelCount = -1;
    QHash<int, QString> m_missingChannels;
    bool m_requested = false;
    uint64_t m_pending = 0;  // the number of the newest request
    uint64_t m_done = 0;     // the number of the request the report answers
    showcheck::Report m_report;
};
