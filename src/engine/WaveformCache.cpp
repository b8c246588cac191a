#include "engine/WaveformCache.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFileInfo>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/media/SoundFileOpener.h"

bool ComputeWaveformOverview(const QByteArray& path, int columns, WaveformOverview* overview,
                             const std::atomic<bool>* cancel) {
    mvmedia::OpenedSound sound = mvmedia::OpenSoundFile(path);
    if (!sound.reader || columns <= 0) return false;
    SoundReader& reader = *sound.reader;
    const uint64_t frames = reader.GetFrameCount();
    const uint32_t rate = reader.GetSampleRate();
    overview->columns.assign(static_cast<size_t>(columns), 0);
    overview->durationMs =
        rate == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(frames * 1000 / rate, UINT32_MAX));
    if (frames == 0) return true;
    const uint64_t perColumn = std::max<uint64_t>(1, (frames + columns - 1) / columns);
    int peak = 0;
    uint64_t frame = 0;
    int16_t left = 0;
    int16_t right = 0;
    while (reader.ReadFrame(left, right)) {
        peak =
            std::max({peak, std::abs(static_cast<int>(left)), std::abs(static_cast<int>(right))});
        if (++frame % perColumn == 0 || frame == frames) {
            const auto column = static_cast<size_t>((frame - 1) / perColumn);
            if (column < overview->columns.size())
                overview->columns[column] = static_cast<uint8_t>(std::min(255, peak / 128));
            peak = 0;
            if (cancel && cancel->load(std::memory_order_relaxed)) return false;
        }
        if (frame >= frames) break;
    }
    return true;
}

WaveformCache::WaveformCache(QObject* parent) : QObject(parent) {
    m_thread = std::thread([this] {
        // The lowest priority: a Go and the cues' workers always come first.
        setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
        Run();
    });
}

WaveformCache::~WaveformCache() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_jobs.clear();
    }
    m_cancel = true;
    m_changed.notify_all();
    m_thread.join();
}

std::shared_ptr<const WaveformOverview> WaveformCache::Request(const QByteArray& path) {
    if (path.isEmpty()) return nullptr;
    const QFileInfo info(QString::fromLocal8Bit(path));
    const Key key{info.exists() ? info.size() : -1,
                  info.exists() ? info.lastModified().toMSecsSinceEpoch() : 0};
    auto it = m_entries.find(path);
    if (it != m_entries.end() && it->key == key) {
        if (!it->pending) ++m_hits;
        return it->overview;
    }
    ++m_misses;
    if (m_entries.size() >= kMaxEntries) m_entries.clear();  // a new show, most likely
    m_entries.insert(path, Entry{key, true, nullptr});
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back({path, key});
    }
    m_changed.notify_all();
    return nullptr;
}

bool WaveformCache::WaitUntilIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_jobs.empty() && !m_busy; });
}

void WaveformCache::Done(const QByteArray& path, const Key& key,
                         std::shared_ptr<const WaveformOverview> overview) {
    // UI thread. A file that changed again meanwhile keeps its newer request.
    auto it = m_entries.find(path);
    if (it == m_entries.end() || !(it->key == key)) return;
    it->pending = false;
    it->overview = std::move(overview);
    emit ready(path);
}

void WaveformCache::Run() {
    // The cache's own thread.
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop) return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
        }
        auto overview = std::make_shared<WaveformOverview>();
        std::shared_ptr<const WaveformOverview> result;
        if (ComputeWaveformOverview(job.path, kColumns, overview.get(), &m_cancel))
            result = std::move(overview);
        QMetaObject::invokeMethod(
            this, [this, job, result] { Done(job.path, job.key, result); }, Qt::QueuedConnection);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_busy = false;
        }
        m_changed.notify_all();
    }
}
