#include "shell/GoLog.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStandardPaths>
#include <chrono>
#include <utility>

namespace {

QString Field(QString text) {
    // One action per line, one field per tab: neither may appear inside a field.
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

}  // namespace

GoLog::GoLog(QString folder, QObject* parent) : QObject(parent), m_folder(std::move(folder)) {
    m_thread = std::thread([this] { Run(); });
}

GoLog::~GoLog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

QString GoLog::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/logs");
}

void GoLog::SetShowName(const QString& name) { m_show = name; }

void GoLog::Record(const ShowAction& action, const QDateTime& when) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (static_cast<int>(m_pending.size()) >= kMaxPending) {
            ++m_dropped;
            return;
        }
        m_pending.push_back({action, when, m_show});
    }
    m_changed.notify_all();
}

bool GoLog::WaitUntilWritten(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_pending.empty() && !m_writing; });
}

QStringList GoLog::FormatLines(const ShowAction& action, const QDateTime& when) {
    const QString time = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QString source = Field(action.source.LogText());
    QStringList lines;
    auto line = [&](const QString& name, const ShowAction::Cue* cue) {
        lines.append(QStringList{time, name, cue ? Field(cue->id) : QString(),
                                 cue ? Field(cue->description) : QString(), source}
                         .join(QLatin1Char('\t')));
    };
    const QString name = action.LogName();
    if (action.cues.isEmpty()) line(name, nullptr);
    for (const ShowAction::Cue& cue : action.cues) {
        // A cue that did not start is no cue the audience heard.
        const bool failed = !cue.started && (action.kind == ShowAction::Kind::Go ||
                                             action.kind == ShowAction::Kind::StartCue);
        line(failed ? name + QStringLiteral("_FAILED") : name, &cue);
    }
    return lines;
}

QString GoLog::FileNameFor(const QString& show, const QDate& day) {
    QString name = show.isEmpty() ? QStringLiteral("Untitled") : show.left(100);
    for (QChar& c : name) {
        const bool kept = c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('.') ||
                          c == QLatin1Char('-') || c == QLatin1Char('_');
        if (!kept) c = QLatin1Char('_');
    }
    if (name.startsWith(QLatin1Char('.'))) name.replace(0, 1, QLatin1Char('_'));
    return name + QLatin1Char(' ') + day.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".log");
}

bool GoLog::WriteEntry(const Entry& entry, int dropped, QString* error) {
    if (!QDir().mkpath(m_folder)) {
        *error = tr("The Go log folder %1 cannot be created.").arg(m_folder);
        return false;
    }
    const QString path = m_folder + QLatin1Char('/') + FileNameFor(entry.show, entry.when.date());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = tr("The Go log %1 cannot be written: %2").arg(path, file.errorString());
        return false;
    }
    QStringList lines = FormatLines(entry.action, entry.when);
    if (dropped > 0) {
        // The record says that it is incomplete, and where.
        lines.prepend(QStringList{entry.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                  QStringLiteral("NOT_LOGGED"), QString(),
                                  tr("%n action(s) came too fast to be logged", nullptr, dropped),
                                  QString()}
                          .join(QLatin1Char('\t')));
    }
    const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (file.write(text) != text.size() || !file.flush()) {
        *error = tr("The Go log %1 cannot be written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void GoLog::Run() {
    // The log's writing thread.
    for (;;) {
        Entry entry;
        int dropped = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || !m_pending.empty(); });
            if (m_pending.empty()) return;  // stopping, and everything is written
            entry = std::move(m_pending.front());
            m_pending.pop_front();
            dropped = std::exchange(m_dropped, 0);
            m_writing = true;
        }
        QString error;
        const bool written = WriteEntry(entry, dropped, &error);
        if (!written && !m_failing) {
            QMetaObject::invokeMethod(
                this, [this, error] { emit writeFailed(error); }, Qt::QueuedConnection);
        }
        m_failing = !written;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_writing = false;
        }
        m_changed.notify_all();
    }
}
