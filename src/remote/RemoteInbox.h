#pragma once

#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

// A bounded queue from an input thread (network, MIDI) to the UI thread. The input thread
// pushes; when the queue was empty it posts one queued call that drains it on the UI thread, so
// the UI's event queue holds at most one call however fast items come. An item that finds the
// queue full is dropped and counted: memory stays bounded under any flood.
template <typename T>
class RemoteInbox {
public:
    // `receiver` lives on the UI thread and outlives the inbox's pushes; `handle` runs there
    // for each item.
    RemoteInbox(QObject* receiver, std::size_t capacity, std::function<void(T&)> handle)
        : m_receiver(receiver), m_capacity(capacity), m_handle(std::move(handle)) {}

    // Input thread. Returns false when the item was dropped.
    bool Push(T item) {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_items.size() >= m_capacity) {
                m_dropped.fetch_add(1, std::memory_order_relaxed);
                return false;
            }
            m_items.push_back(std::move(item));
            wake = !m_wakePending;
            m_wakePending = true;
        }
        if (wake)
            QMetaObject::invokeMethod(
                m_receiver, [this] { Drain(); }, Qt::QueuedConnection);
        return true;
    }

    // UI thread: handles what is queued, at most `capacity` items, then lets the event loop
    // run (repaints, timers) before the next batch.
    void Drain() {
        std::deque<T> batch;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_wakePending = false;
            batch.swap(m_items);
        }
        for (T& item : batch) m_handle(item);
    }

    // Any thread.
    std::size_t GetDroppedCount() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    QObject* m_receiver;
    const std::size_t m_capacity;
    std::function<void(T&)> m_handle;
    std::mutex m_mutex;
    std::deque<T> m_items;
    bool m_wakePending = false;
    std::atomic<std::size_t> m_dropped{0};
};
