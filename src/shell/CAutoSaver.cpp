#include "shell/CAutoSaver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QUndoStack>
#include <algorithm>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "cuelist/CueListFile.h"

namespace {

// What the writing thread needs of the list: the chunks of its fields as the UI thread last
// brought them up to date, and the chunks that went out of use, to be freed there.
struct Snapshot {
    CueSnapshotCache::ChunkList chunks;
    CueSnapshotCache::ChunkList retired;
    int32_t lastCueNumber = 0;
    RecoveryCopy copy;
};

}  // namespace

// State of the writing thread; touched only there.
struct CAutoSaver::Worker {
    int lockFd = -1;
    QString lockedPath;

    ~Worker() { Unlock(); }

    void Unlock() {
        if (lockFd >= 0) ::close(lockFd);
        lockFd = -1;
        lockedPath.clear();
    }

    // Holds the lock of `copy` for as long as this program writes it: the next start knows
    // from it whether the copy's program still runs.
    bool Lock(const RecoveryCopy& copy, QString* error) {
        if (lockFd >= 0 && lockedPath == copy.lockPath) return true;
        Unlock();
        const int fd = ::open(QFile::encodeName(copy.lockPath).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (fd >= 0) ::close(fd);
            *error = QStringLiteral("The recovery copy %1 is in use by another program.")
                         .arg(copy.listPath);
            return false;
        }
        lockFd = fd;
        lockedPath = copy.lockPath;
        return true;
    }

    bool Write(const Snapshot& snapshot, QString* error) {
        const RecoveryCopy& copy = snapshot.copy;
        if (!QDir().mkpath(QFileInfo(copy.listPath).absolutePath())) {
            *error = QStringLiteral("The recovery folder %1 could not be created.")
                         .arg(QFileInfo(copy.listPath).absolutePath());
            return false;
        }
        if (!Lock(copy, error)) return false;
        size_t count = 0;
        for (const auto& chunk : snapshot.chunks) count += chunk->fields.size();
        std::vector<std::unique_ptr<CQRecord>> owned;
        owned.reserve(count);
        QList<CQRecord*> cues;
        cues.reserve(static_cast<qsizetype>(count));
        for (const auto& chunk : snapshot.chunks) {
            for (const CueFields& fields : chunk->fields) {
                owned.push_back(std::make_unique<CQRecord>());
                fields.ApplyTo(*owned.back());
                cues.append(owned.back().get());
            }
        }
        QByteArray bytes;
        CueArchive ar(&bytes);
        ar.WriteCueArray(cues);
        ar.WriteDword(static_cast<uint32_t>(snapshot.lastCueNumber));
        // The list first: a sidecar never names a copy that is not whole.
        for (const auto& [path, contents] :
             {std::pair{copy.listPath, bytes},
              std::pair{copy.sidecarPath, CRecoveryStore::SidecarBytes(copy)}}) {
            FileError::Cause cause = FileError::kNone;
            if (CueListFile::Write(QFile::encodeName(path), contents, &cause) !=
                CueListFile::kWriteOk) {
                *error = QStringLiteral("The recovery copy could not be written: %1")
                             .arg(FileError::Message(cause, path));
                return false;
            }
        }
        return true;
    }

    void Remove(const RecoveryCopy& copy) {
        QFile::remove(copy.listPath);
        QFile::remove(copy.sidecarPath);
        // This program's own copy or one it adopted: the lock file is its own either way.
        QFile::remove(copy.lockPath);
        if (lockedPath == copy.lockPath) Unlock();
    }
};

CAutoSaver::CAutoSaver(CMVDoc* doc, QUndoStack* history, const QString& folder, QObject* parent)
    : QObject(parent),
      m_pDoc(doc),
      m_store(folder),
      m_copy(m_store.NewCopy()),
      m_worker(std::make_shared<Worker>()) {
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(kIdleMs);
    m_maxTimer.setSingleShot(true);
    m_maxTimer.setInterval(kMaxIntervalMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &CAutoSaver::WriteNow);
    connect(&m_maxTimer, &QTimer::timeout, this, &CAutoSaver::WriteNow);
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, [this] { OnStep(); });

    m_pContext = new QObject;
    m_pContext->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_pContext, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("autosave"));
    m_thread.start(QThread::LowPriority);
    // The priority above means nothing to Linux's normal scheduling: the writing thread gives
    // way to the window and the players by being nice instead. Runs on the writing thread.
    QMetaObject::invokeMethod(m_pContext, [] {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWriterNiceness);
    });

    if (history != nullptr) connect(history, &QUndoStack::indexChanged, this, &CAutoSaver::OnEdit);
    connect(m_pDoc, &CMVDoc::modifiedChanged, this, &CAutoSaver::OnModifiedChanged);
    connect(m_pDoc, &CMVDoc::contentsReset, this, &CAutoSaver::OnContentsReset);
    connect(m_pDoc, &CMVDoc::aboutToDestroyCues, this, [this] { m_bRestart = true; });
    OnContentsReset();
}

void CAutoSaver::OnContentsReset() {
    m_bRestart = true;
    const bool wasSnapshotting = m_cache.IsUpdating();
    m_cache.Abandon(&m_retired);
    m_cache.Update(m_pDoc->GetCues(), &m_retired);
    Release(std::move(m_retired));
    m_retired.clear();
    if (wasSnapshotting) m_cache.Begin(m_pDoc->GetCues());
}

void CAutoSaver::Release(CueSnapshotCache::ChunkList chunks) {
    if (chunks.empty()) return;
    ++m_pending;
    QMetaObject::invokeMethod(m_pContext, [this, chunks = std::move(chunks)]() mutable {
        chunks.clear();
        --m_pending;
    });
}

CAutoSaver::~CAutoSaver() {
    m_idleTimer.stop();
    m_maxTimer.stop();
    if (m_cache.IsUpdating()) OnStep(SIZE_MAX);
    // Everything handed over is done before the thread's loop ends (a quit drops what waits).
    for (int waited = 0; m_pending.load() > 0 && waited < 10000; ++waited) QThread::msleep(1);
    m_thread.quit();
    m_thread.wait();
}

void CAutoSaver::Adopt(const RecoveryCopy& copy) {
    RecoveryCopy adopted = copy;
    adopted.pid = QCoreApplication::applicationPid();
    m_copy = adopted;
    // Written (and locked) straight away, so no other starting copy of the program offers it.
    WriteNow();
}

void CAutoSaver::OnEdit() {
    m_bRestart = true;
    if (!m_pDoc->IsModified()) return;
    m_idleTimer.start();
    if (!m_maxTimer.isActive()) m_maxTimer.start();
}

void CAutoSaver::OnModifiedChanged(bool modified) {
    if (modified) {
        OnEdit();
        return;
    }
    // Saved, New, Open or undone to the saved list: nothing is left to recover.
    m_idleTimer.stop();
    m_maxTimer.stop();
    DiscardCopy();
}

void CAutoSaver::WriteNow() {
    m_idleTimer.stop();
    m_maxTimer.stop();
    if (!m_pDoc->IsModified()) {
        AbandonSnapshot();
        return;
    }
    m_cache.Abandon(&m_retired);
    m_cache.Begin(m_pDoc->GetCues());
    m_bRestart = false;
    m_restarts = 0;
    m_lastSnapshotNs = 0;
    m_lastLongestStepNs = 0;
    OnStep();
}

void CAutoSaver::OnStep(size_t budget) {
    if (!m_cache.IsUpdating()) {
        m_stepTimer.stop();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    // The list changed since the step before (a change of the list gives the document's list
    // storage of its own, apart from the copy the snapshot looks at, whose records may be gone)
    // or an edit was made: the snapshot starts over, so that it is of one state of the list.
    const QList<CQRecord*>& cues = m_pDoc->GetCues();
    if (m_bRestart || cues.constData() != m_cache.GetList().constData() ||
        cues.size() != m_cache.GetList().size()) {
        m_cache.Abandon(&m_retired);
        m_cache.Begin(cues);
        m_bRestart = false;
        ++m_restarts;
    }
    const bool done = m_cache.Step(m_restarts > kMaxRestarts ? SIZE_MAX : budget, &m_retired);
    const qint64 ns = clock.nsecsElapsed();
    m_lastSnapshotNs += ns;
    m_lastLongestStepNs = std::max(m_lastLongestStepNs, ns);
    if (!done) {
        if (!m_stepTimer.isActive()) m_stepTimer.start();
        return;
    }
    m_stepTimer.stop();
    HandOver();
}

void CAutoSaver::AbandonSnapshot() {
    m_stepTimer.stop();
    m_cache.Abandon(&m_retired);
}

void CAutoSaver::HandOver() {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->chunks = m_cache.GetChunks();
    snapshot->retired = std::move(m_retired);
    m_retired.clear();
    snapshot->lastCueNumber = m_pDoc->m_nLastCueNumber;
    m_copy.originalPath = m_pDoc->GetPathName();
    m_copy.title = m_pDoc->GetTitle();
    m_copy.time = QDateTime::currentDateTime();
    m_copy.pid = QCoreApplication::applicationPid();
    snapshot->copy = m_copy;

    ++m_pending;
    // Runs on the writing thread; the report comes back to this object's (UI) thread.
    QMetaObject::invokeMethod(m_pContext, [this, worker = m_worker, snapshot] {
        QString error;
        const bool ok = worker->Write(*snapshot, &error);
        QMetaObject::invokeMethod(
            this,
            [this, ok, error] {
                // Tried again within the longest interval, edits or not, until it succeeds.
                if (!ok && m_pDoc->IsModified() && !m_maxTimer.isActive()) m_maxTimer.start();
                emit written(ok, error);
            },
            Qt::QueuedConnection);
        --m_pending;
    });
}

void CAutoSaver::DiscardCopy() {
    // A snapshot under way would bring the copy back.
    AbandonSnapshot();
    Release(std::move(m_retired));
    m_retired.clear();
    ++m_pending;
    // In order after every write handed over before: no late write brings the copy back.
    QMetaObject::invokeMethod(m_pContext, [this, worker = m_worker, copy = m_copy] {
        worker->Remove(copy);
        --m_pending;
    });
}

bool CAutoSaver::WaitUntilWritten(int timeoutMs) {
    if (m_cache.IsUpdating()) OnStep(SIZE_MAX);
    QElapsedTimer clock;
    clock.start();
    while (m_pending.load() > 0) {
        if (clock.elapsed() > timeoutMs) return false;
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
    return true;
}
