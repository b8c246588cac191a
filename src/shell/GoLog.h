#pragma once

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "view/ShowAction.h"

// The Go log: every Go, stop and live command of a performance, one tab-separated line per cue
// it concerned (local time with milliseconds, action, cue ID, description, who gave it),
// appended to one file per show and day in a folder of the user's data. A stage manager's show
// report is made from it.
//
// Threads: Record, SetShowName and the destructor on the UI thread; the lines are written by a
// thread of the log's own, so that a slow disk never delays a Go. A failure to write is
// reported once (until a write succeeds again) through writeFailed, by a queued call.
class GoLog : public QObject {
    Q_OBJECT

public:
    // Entries waiting beyond this are dropped (and counted in the next line written).
    static constexpr int kMaxPending = 10000;

    // Writes into `folder` (created when needed).
    explicit GoLog(QString folder, QObject* parent = nullptr);
    // Writes what is waiting, then ends the writing thread.
    ~GoLog() override;

    // The folder the program's logs go to: the user's data folder, "logs".
    static QString DefaultFolder();

    const QString& GetFolder() const { return m_folder; }
    // The show the next actions belong to (the cue list's file name; empty: "Untitled").
    void SetShowName(const QString& name);
    // Queues `action` as carried out at `when`.
    void Record(const ShowAction& action, const QDateTime& when = QDateTime::currentDateTime());
    // Waits until every queued line has been written or `timeoutMs` passed; whether all were.
    bool WaitUntilWritten(int timeoutMs);

    // The lines of one action, without line ends.
    static QStringList FormatLines(const ShowAction& action, const QDateTime& when);
    // The file of a show on a day: "<show> <yyyy-MM-dd>.log", the show's name kept to letters,
    // digits, spaces and ".-_" (anything else becomes "_").
    static QString FileNameFor(const QString& show, const QDate& day);

signals:
    void writeFailed(const QString& message);

private:
    struct Entry {
        ShowAction action;
        QDateTime when;
        QString show;
    };

    void Run();
    bool WriteEntry(const Entry& entry, int dropped, QString* error);

    QString m_folder;
    QString m_show;  // UI thread

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Entry> m_pending;  // guarded by m_mutex
    int m_dropped = 0;            // guarded by m_mutex
    bool m_writing = false;       // guarded by m_mutex: the thread holds an entry
    bool m_stop = false;          // guarded by m_mutex
    bool m_failing = false;       // writing thread only
    std::thread m_thread;
};
