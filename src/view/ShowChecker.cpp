#include "view/ShowChecker.h"

#include <QCoreApplication>
#include <QMetaObject>

ShowChecker::ShowChecker(QObject* parent) : QObject(parent) { m_pool.setMaxThreadCount(1); }

ShowChecker::~ShowChecker() {
    m_pool.clear();
    m_pool.waitForDone();
}

void ShowChecker::Request(const QList<showcheck::CueSnapshot>& cues, int channelCount,
                          const QHash<int, QString>& missingChannels) {
    if (m_requested && cues == m_cues && channelCount == m_channelCount &&
        missingChannels == m_missingChannels)
        return;
    m_cues = cues;
    m_channelCount = channelCount;
    m_missingChannels = missingChannels;
    m_requested = true;
    Start();
}

void ShowChecker::Recheck() {
    if (m_requested) Start();
}

void ShowChecker::Start() {
    const uint64_t number = ++m_pending;
    // Only the newest request matters: one not yet started is dropped.
    m_pool.clear();
    const QList<showcheck::CueSnapshot> cues = m_cues;
    const int channels = m_channelCount;
    const QHash<int, QString> missing = m_missingChannels;
    m_pool.start([this, number, cues, channels, missing] {
        // Pool thread: the destructor waits for this before the checker goes.
        showcheck::Report report = showcheck::Check(cues, channels, missing);
        QMetaObject::invokeMethod(
            this,
            [this, number, report = std::move(report)] {
                if (number != m_pending) return;  // overtaken by a newer request
                m_report = report;
                m_done = number;
                emit checked();
            },
            Qt::QueuedConnection);
    });
}

void ShowChecker::WaitForReport() {
    m_pool.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}
