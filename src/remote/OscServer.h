#pragma once

#include <sys/socket.h>

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "remote/OscMessage.h"
#include "remote/RemoteInbox.h"

// Where an OSC packet came from, to answer it.
struct OscPeer {
    sockaddr_storage address{};
    socklen_t length = 0;
    QString host;  // numeric address; IPv4-mapped IPv6 addresses as IPv4
    quint16 port = 0;
    int stream = -1;  // the TCP connection it came over; -1: UDP

    QString ToString() const { return host + QLatin1Char(':') + QString::number(port); }
    bool operator==(const OscPeer& other) const {
        return host == other.host && port == other.port && stream == other.stream;
    }
};

// The OSC input: a UDP socket and a TCP listener (messages framed by a 4-byte length, as OSC
// over TCP is) on the chosen interface and port, read by a thread of its own.
// The thread drops what must not reach the show (senders not allowed, packets that are not
// OSC, senders that send faster than a controller ever does) and hands decoded messages to the
// UI thread through a bounded inbox. Replies are sent by the same thread from the same socket,
// so a controller sees them come from the port it sends to.
class OscServer : public QObject {
    Q_OBJECT

public:
    struct Config {
        quint16 port = 53000;
        QString interfaceAddress;    // numeric; empty: every interface
        QStringList allowedSenders;  // numeric; empty: anyone
    };

    // A sender may send this many messages at once and this many a second after; a sender that
    // goes past it is ignored until it has kept quiet for kMuteMs.
    static constexpr int kBurstMessages = 64;
    static constexpr int kMessagesPerSecond = 64;
    static constexpr int kMuteMs = 1000;
    static constexpr std::size_t kInboxCapacity = 256;
    static constexpr std::size_t kOutboxCapacity = 256;
    static constexpr std::size_t kMaxConnections = 16;

    // `handle` runs on the UI thread for each message that passed.
    explicit OscServer(std::function<void(const OscPeer&, const OscMessage&)> handle,
                       QObject* parent = nullptr);
    ~OscServer() override;

    // UI thread. Opens the socket and starts the thread; false with a message saying why (port
    // in use, no such interface).
    bool Start(const Config& config, QString* error);
    // UI thread. Stops and joins the thread, closes the socket.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }
    // Whether TCP is taken as well (UDP works without it, e.g. when another program holds the
    // TCP port).
    bool IsTcpListening() const { return m_listen >= 0; }
    // The port bound (useful when 0 was asked for).
    quint16 GetPort() const { return m_boundPort; }

    // UI thread: queues `packet` for `to`; dropped when the outbox is full.
    void Send(const OscPeer& to, const QByteArray& packet);

    // Any thread: counts of what the thread dropped.
    std::size_t GetDroppedCount() const {
        return m_dropped.load(std::memory_order_relaxed) + m_inbox.GetDroppedCount();
    }
    std::size_t GetReceivedCount() const { return m_received.load(std::memory_order_relaxed); }

    // Whether `host` (numeric) is in `allowed` (numeric addresses), comparing addresses, not
    // texts; an empty list allows everyone. Any thread.
    static bool IsAllowed(const QString& host, const QStringList& allowed);

private:
    struct Item {
        OscPeer from;
        OscMessage message;
    };
    struct Outgoing {
        OscPeer to;
        QByteArray packet;
    };
    struct Bucket {
        double tokens = kBurstMessages;
        qint64 lastMs = 0;
        qint64 mutedUntilMs = 0;
    };

    struct Connection {
        int fd = -1;
        OscPeer peer;
        QByteArray pending;  // bytes of a frame not complete yet
    };

    void Run();
    bool Admit(const QString& host, qint64 nowMs);
    void SendPending();
    void Deliver(const OscPeer& from, const char* data, std::size_t size);
    void Accept();
    bool ReadConnection(Connection& connection, std::vector<char>& buffer);

    std::function<void(const OscPeer&, const OscMessage&)> m_handle;
    RemoteInbox<Item> m_inbox;
    Config m_config;
    int m_socket = -1;
    int m_wake = -1;  // eventfd: wakes the thread for replies and for stopping
    int m_listen = -1;
    int m_nextStream = 0;
    std::vector<Connection> m_connections;  // network thread only
    quint16 m_boundPort = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_dropped{0};
    std::atomic<std::size_t> m_received{0};
    QHash<QString, Bucket> m_buckets;  // network thread only
    std::mutex m_outMutex;
    std::vector<Outgoing> m_outbox;  // guarded by m_outMutex
};
