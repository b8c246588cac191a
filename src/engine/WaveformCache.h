#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A sound file seen from afar: the loudest sample of each of a fixed number of equal stretches
// (0..255 of full scale), and the file's length.
struct WaveformOverview {
    std::vector<uint8_t> columns;
    uint32_t durationMs = 0;
};

// Reads the whole of `path` through the program's sound readers; false when it cannot be
// opened or `cancel` was set. Any thread.
bool ComputeWaveformOverview(const QByteArray& path, int columns, WaveformOverview* overview,
                             const std::atomic<bool>* cancel = nullptr);

// Waveform overviews of the cues' files, computed by a thread of the cache's own at the lowest
// priority, so that a Go never waits for one, and kept per file: path, size and modification
// time (a changed file is read again). A file that cannot be read is remembered as such until
// it changes.
//
// Threads: everything here on the UI thread; `ready` arrives there by a queued call.
class WaveformCache : public QObject {
    Q_OBJECT

public:
    static constexpr int kColumns = 1000;
    static constexpr int kMaxEntries = 500;

    explicit WaveformCache(QObject* parent = nullptr);
    ~WaveformCache() override;

    // The overview of `path` when it is known for the file as it is now; otherwise null, and it
    // is computed in the background (once) and announced by `ready`.
    std::shared_ptr<const WaveformOverview> Request(const QByteArray& path);

    int GetHits() const { return m_hits; }
    int GetMisses() const { return m_misses; }
    // Tests and benchmarks: waits until nothing is queued or computing.
    bool WaitUntilIdle(int timeoutMs);

signals:
    void ready(const QByteArray& path);

private:
    struct Key {
        qint64 size = -1;
        qint64 modified = 0;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        bool pending = true;
        std::shared_ptr<const WaveformOverview> overview;  // null: pending or unreadable
    };
    struct Job {
        QByteArray path;
        Key key;
    };

    void Run();
    void Done(const QByteArray& path, const Key& key,
              std::shared_ptr<const WaveformOverview> overview);

    QHash<QByteArray, Entry> m_entries;  // UI thread
    int m_hits = 0;
    int m_misses = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;  // guarded by m_mutex
    bool m_busy = false;     // guarded by m_mutex
    bool m_stop = false;     // guarded by m_mutex
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};
