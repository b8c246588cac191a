#include "remote/OscServer.h"

#include "remote/SenderCheck.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QDateTime>
#include <cerrno>
#include <cstring>

namespace {

// Sender tables stay small: a show network has a handful of controllers.
constexpr int kMaxBuckets = 256;

qint64 NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// The numeric text of an address; IPv4-mapped IPv6 as IPv4. Fills `port`.
QString HostOf(const sockaddr_storage& address, quint16* port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        *port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        *port = ntohs(in6->sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        }
    }
    return QString::fromLatin1(text);
}

}  // namespace

OscServer::OscServer(std::function<void(const OscPeer&, const OscMessage&)> handle, QObject* parent)
    : QObject(parent),
      m_handle(std::move(handle)),
      m_inbox(this, kInboxCapacity, [this](Item& item) { m_handle(item.from, item.message); }) {}

OscServer::~OscServer() { Stop(); }

bool OscServer::IsAllowed(const QString& host, const QStringList& allowed) {
    return remote::IsAllowedSender(host, allowed);
}

bool OscServer::Start(const Config& config, QString* error) {
    Stop();
    m_config = config;
    sockaddr_storage bind{};
    socklen_t bindLength = 0;
    int family = AF_INET6;
    if (config.interfaceAddress.trimmed().isEmpty()) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&bind);
        in6->sin6_family = AF_INET6;
        in6->sin6_addr = in6addr_any;
        in6->sin6_port = htons(config.port);
        bindLength = sizeof *in6;
    } else {
        const QByteArray latin = config.interfaceAddress.trimmed().toLatin1();
        auto* in = reinterpret_cast<sockaddr_in*>(&bind);
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&bind);
        if (inet_pton(AF_INET, latin.constData(), &in->sin_addr) == 1) {
            family = AF_INET;
            in->sin_family = AF_INET;
            in->sin_port = htons(config.port);
            bindLength = sizeof *in;
        } else if (inet_pton(AF_INET6, latin.constData(), &in6->sin6_addr) == 1) {
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(config.port);
            bindLength = sizeof *in6;
        } else {
            *error = tr("\"%1\" is not a numeric network address.").arg(config.interfaceAddress);
            return false;
        }
    }

    int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 && family == AF_INET6 && config.interfaceAddress.trimmed().isEmpty()) {
        // No IPv6 on this machine: every IPv4 interface then.
        family = AF_INET;
        bind = {};
        auto* in = reinterpret_cast<sockaddr_in*>(&bind);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(INADDR_ANY);
        in->sin_port = htons(config.port);
        bindLength = sizeof *in;
        fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    }
    if (fd < 0) {
        *error = tr("No network socket for OSC: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // Room for a burst of controller traffic while the thread is busy.
    const int receiveBuffer = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (family == AF_INET6) {
        const int no = 0;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&bind), bindLength) != 0) {
        const QString reason = QString::fromLocal8Bit(strerror(errno));
        ::close(fd);
        *error = tr("OSC cannot listen on port %1: %2").arg(config.port).arg(reason);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    HostOf(bound, &m_boundPort);

    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wake < 0) {
        ::close(fd);
        *error = tr("OSC cannot start: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_socket = fd;
    // TCP on the same address and port; UDP works without it.
    m_listen = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listen >= 0) {
        const int yes = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (family == AF_INET6) {
            const int no = 0;
            setsockopt(m_listen, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
        }
        sockaddr_storage tcpBind = bound;  // the port UDP got, when 0 was asked for
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&tcpBind), boundLength) != 0 ||
            ::listen(m_listen, 8) != 0) {
            ::close(m_listen);
            m_listen = -1;
        }
    }
    m_stop = false;
    m_buckets.clear();
    m_thread = std::thread([this] { Run(); });
    return true;
}

void OscServer::Stop() {
    if (m_thread.joinable()) {
        m_stop = true;
        const uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_socket >= 0) ::close(m_socket);
    if (m_wake >= 0) ::close(m_wake);
    if (m_listen >= 0) ::close(m_listen);
    for (const Connection& connection : m_connections) ::close(connection.fd);
    m_connections.clear();
    m_socket = -1;
    m_wake = -1;
    m_listen = -1;
    std::lock_guard<std::mutex> lock(m_outMutex);
    m_outbox.clear();
}

void OscServer::Send(const OscPeer& to, const QByteArray& packet) {
    if (!m_thread.joinable() || packet.isEmpty()) return;
    {
        std::lock_guard<std::mutex> lock(m_outMutex);
        if (m_outbox.size() >= kOutboxCapacity) {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        m_outbox.push_back({to, packet});
    }
    const uint64_t one = 1;
    (void)!::write(m_wake, &one, sizeof one);
}

// Network thread.
bool OscServer::Admit(const QString& host, qint64 nowMs) {
    auto it = m_buckets.find(host);
    if (it == m_buckets.end()) {
        if (m_buckets.size() >= kMaxBuckets) m_buckets.clear();
        it = m_buckets.insert(host, Bucket{kBurstMessages, nowMs, 0});
    }
    Bucket& bucket = *it;
    if (nowMs < bucket.mutedUntilMs) {
        // Still flooding: the mute lasts until the sender has kept quiet for a while.
        bucket.mutedUntilMs = nowMs + kMuteMs;
        return false;
    }
    bucket.tokens = std::min<double>(
        kBurstMessages, bucket.tokens + (nowMs - bucket.lastMs) * kMessagesPerSecond / 1000.0);
    bucket.lastMs = nowMs;
    if (bucket.tokens < 1.0) {
        bucket.mutedUntilMs = nowMs + kMuteMs;
        return false;
    }
    bucket.tokens -= 1.0;
    return true;
}

// Network thread.
void OscServer::SendPending() {
    std::vector<Outgoing> pending;
    {
        std::lock_guard<std::mutex> lock(m_outMutex);
        pending.swap(m_outbox);
    }
    for (const Outgoing& out : pending) {
        if (out.to.stream < 0) {
            ::sendto(m_socket, out.packet.constData(), static_cast<size_t>(out.packet.size()),
                     MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&out.to.address),
                     out.to.length);
            continue;
        }
        for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
            if (it->peer.stream != out.to.stream) continue;
            const quint32 n = static_cast<quint32>(out.packet.size());
            QByteArray frame;
            frame.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
            frame.append(out.packet);
            const ssize_t sent =
                ::send(it->fd, frame.constData(), static_cast<size_t>(frame.size()),
                       MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent != frame.size()) {
                // A controller that does not read its replies loses its connection.
                ::close(it->fd);
                m_connections.erase(it);
            }
            break;
        }
    }
}

// Network thread.
void OscServer::Deliver(const OscPeer& from, const char* data, std::size_t size) {
    if (!Admit(from.host, NowMs())) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    QList<OscMessage> messages;
    if (!osc::DecodePacket(data, size, &messages)) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    for (OscMessage& message : messages) m_inbox.Push({from, std::move(message)});
}

// Network thread.
void OscServer::Accept() {
    for (;;) {
        Connection connection;
        connection.peer.length = sizeof connection.peer.address;
        connection.fd = ::accept4(m_listen, reinterpret_cast<sockaddr*>(&connection.peer.address),
                                  &connection.peer.length, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection.fd < 0) return;
        connection.peer.host = HostOf(connection.peer.address, &connection.peer.port);
        if (m_connections.size() >= kMaxConnections ||
            !IsAllowed(connection.peer.host, m_config.allowedSenders)) {
            ::close(connection.fd);
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        connection.peer.stream = m_nextStream++;
        m_connections.push_back(std::move(connection));
    }
}

// Network thread. False when the connection is to be closed.
bool OscServer::ReadConnection(Connection& connection, std::vector<char>& buffer) {
    const ssize_t got = ::recv(connection.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got == 0) return false;
    if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    m_received.fetch_add(1, std::memory_order_relaxed);
    connection.pending.append(buffer.data(), got);
    while (connection.pending.size() >= 4) {
        const auto* u = reinterpret_cast<const unsigned char*>(connection.pending.constData());
        const quint32 length =
            (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
        // A frame larger than any packet is never read: the sender is not speaking OSC.
        if (length == 0 || length > osc::kMaxPacketBytes) return false;
        if (static_cast<quint32>(connection.pending.size()) < 4 + length) break;
        Deliver(connection.peer, connection.pending.constData() + 4, length);
        connection.pending.remove(0, 4 + length);
    }
    return true;
}

// Network thread.
void OscServer::Run() {
    std::vector<char> buffer(osc::kMaxPacketBytes);
    std::vector<pollfd> fds;
    while (!m_stop.load()) {
        fds.assign({{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}, {m_listen, POLLIN, 0}});
        for (const Connection& connection : m_connections)
            fds.push_back({connection.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            (void)!::read(m_wake, &count, sizeof count);
            if (m_stop.load()) break;
            SendPending();
        }
        // Connections first, by their fds: SendPending may have closed some.
        for (std::size_t k = 3; k < fds.size(); ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
                if (it->fd != fds[k].fd) continue;
                if (!ReadConnection(*it, buffer)) {
                    ::close(it->fd);
                    m_connections.erase(it);
                }
                break;
            }
        }
        if (m_listen >= 0 && (fds[2].revents & POLLIN)) Accept();
        if (!(fds[0].revents & POLLIN)) continue;
        // Read what is there, a bounded number at a time, then look at the outbox again.
        for (int k = 0; k < 256; ++k) {
            OscPeer from;
            from.length = sizeof from.address;
            const ssize_t got =
                ::recvfrom(m_socket, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                           reinterpret_cast<sockaddr*>(&from.address), &from.length);
            if (got < 0) break;
            m_received.fetch_add(1, std::memory_order_relaxed);
            if (static_cast<size_t>(got) > buffer.size()) {  // truncated: larger than any packet
                m_dropped.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            from.host = HostOf(from.address, &from.port);
            if (!IsAllowed(from.host, m_config.allowedSenders)) {
                m_dropped.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            Deliver(from, buffer.data(), static_cast<size_t>(got));
        }
    }
}
