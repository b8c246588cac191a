#include "remote/BackupLink.h"

#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <QDateTime>
#include <QSocketNotifier>
#include <cstring>
#include <vector>

#include "remote/OscAddressMap.h"
#include "remote/OscMessage.h"
#include "view/CommandIds.h"
#include "view/ShowAction.h"

namespace remote {

QList<RemoteRequest> ForwardedRequests(const ShowAction& action) {
    QList<RemoteRequest> requests;
    // OSC commands may come from the other machine itself. MIDI comes from a controller
    // plugged into this machine: the backup follows those as it follows the keys.
    if (action.source.kind == CommandSource::Kind::Osc) return requests;
    auto cueRequest = [](RemoteRequest::Kind kind, const QString& id) {
        RemoteRequest request;
        request.kind = kind;
        request.cueId = id;
        return request;
    };
    switch (action.kind) {
        case ShowAction::Kind::Go:
            for (const ShowAction::Cue& cue : action.cues) {
                if (cue.started && !cue.id.isEmpty())
                    requests.append(cueRequest(RemoteRequest::Kind::StartCue, cue.id));
            }
            break;
        case ShowAction::Kind::GoIgnored:
            break;
        case ShowAction::Kind::StopAll: {
            RemoteRequest request;
            request.command = ID_AUDIO_STOPALL;
            requests.append(request);
            break;
        }
        case ShowAction::Kind::FadeAll: {
            RemoteRequest request;
            request.kind = RemoteRequest::Kind::Panic;
            requests.append(request);
            break;
        }
        case ShowAction::Kind::Live: {
            RemoteRequest request;
            request.command = action.command;
            request.target = action.target == ShowAction::Target::Others ? RemoteRequest::kOthers
                             : action.target == ShowAction::Target::All  ? RemoteRequest::kAll
                                                                         : RemoteRequest::kCurrent;
            requests.append(request);
            break;
        }
        case ShowAction::Kind::StartCue:
        case ShowAction::Kind::KillCue:
        case ShowAction::Kind::FadeOutCue:
        case ShowAction::Kind::SelectCue: {
            if (action.cues.isEmpty() || action.cues.front().id.isEmpty()) break;
            if (action.kind == ShowAction::Kind::StartCue && !action.cues.front().started) break;
            const RemoteRequest::Kind kind =
                action.kind == ShowAction::Kind::StartCue     ? RemoteRequest::Kind::StartCue
                : action.kind == ShowAction::Kind::KillCue    ? RemoteRequest::Kind::StopCue
                : action.kind == ShowAction::Kind::FadeOutCue ? RemoteRequest::Kind::FadeOutCue
                                                              : RemoteRequest::Kind::SelectCue;
            requests.append(cueRequest(kind, action.cues.front().id));
            break;
        }
    }
    return requests;
}

}  // namespace remote

namespace {
qint64 NowMs() { return QDateTime::currentMSecsSinceEpoch(); }
}  // namespace

BackupLink::BackupLink(QObject* parent) : QObject(parent) {
    m_pingTimer.setInterval(kPingMs);
    connect(&m_pingTimer, &QTimer::timeout, this, &BackupLink::Ping);
}

BackupLink::~BackupLink() { Close(); }

void BackupLink::Close() {
    m_pingTimer.stop();
    delete m_pNotifier;
    m_pNotifier = nullptr;
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
}

bool BackupLink::SetPeers(const QStringList& peers, const QString& passcode, QString* error) {
    Close();
    m_peers.clear();
    m_passcode = passcode;
    QStringList failed;
    for (const QString& entry : peers) {
        const qsizetype colon = entry.lastIndexOf(QLatin1Char(':'));
        QString host = entry.left(colon).trimmed();
        const QString port = entry.mid(colon + 1).trimmed();
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        addrinfo hints{};
        hints.ai_family = AF_INET6;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_V4MAPPED | AI_ALL;
        addrinfo* found = nullptr;
        if (colon <= 0 ||
            getaddrinfo(host.toUtf8().constData(), port.toLatin1().constData(), &hints, &found) !=
                0 ||
            found == nullptr) {
            failed.append(entry);
            continue;
        }
        Peer peer;
        peer.name = entry.trimmed();
        std::memcpy(&peer.address, found->ai_addr, found->ai_addrlen);
        peer.length = static_cast<socklen_t>(found->ai_addrlen);
        freeaddrinfo(found);
        m_peers.append(peer);
    }
    if (!m_peers.isEmpty()) {
        m_socket = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_socket >= 0) {
            const int no = 0;
            setsockopt(m_socket, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
            m_pNotifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
            connect(m_pNotifier, &QSocketNotifier::activated, this, &BackupLink::OnReadable);
            m_startedMs = NowMs();
            m_pingTimer.start();
            Ping();
        } else {
            failed = peers;
            m_peers.clear();
        }
    }
    UpdateStatus();
    if (failed.isEmpty()) return true;
    if (error != nullptr)
        *error = tr("These backup machines cannot be reached: %1")
                     .arg(failed.join(QStringLiteral(", ")));
    return false;
}

void BackupLink::Send(const RemoteRequest& request) {
    if (m_socket < 0) return;
    const OscMessage message = osc::MessageFor(request);
    const QByteArray packet = osc::EncodeMessage(message.address, message.args);
    for (const Peer& peer : m_peers) {
        ::sendto(m_socket, packet.constData(), static_cast<size_t>(packet.size()), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&peer.address), peer.length);
    }
}

void BackupLink::Forward(const ShowAction& action) {
    if (m_peers.isEmpty()) return;
    for (const RemoteRequest& request : remote::ForwardedRequests(action)) Send(request);
}

void BackupLink::Ping() {
    if (!m_passcode.isEmpty()) {
        // A peer that restarted has forgotten this machine: the passcode goes with every ping.
        RemoteRequest connectRequest;
        connectRequest.kind = RemoteRequest::Kind::Connect;
        connectRequest.text = m_passcode;
        Send(connectRequest);
    }
    RemoteRequest status;
    status.kind = RemoteRequest::Kind::Status;
    Send(status);
    UpdateStatus();
}

void BackupLink::OnReadable() {
    std::vector<char> buffer(osc::kMaxPacketBytes);
    for (int k = 0; k < 64; ++k) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const ssize_t got = ::recvfrom(m_socket, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) break;
        QList<OscMessage> messages;
        if (!osc::DecodePacket(buffer.data(), static_cast<size_t>(got), &messages)) continue;
        for (Peer& peer : m_peers) {
            if (peer.length == length && std::memcmp(&peer.address, &from, length) == 0) {
                for (const OscMessage& message : messages) {
                    if (message.address.startsWith("/reply/")) peer.lastAnswerMs = NowMs();
                }
            }
        }
    }
    UpdateStatus();
}

void BackupLink::UpdateStatus() {
    QString status;
    if (!m_peers.isEmpty()) {
        const qint64 now = NowMs();
        bool allAnswer = true;
        for (const Peer& peer : m_peers) {
            if (now - peer.lastAnswerMs > kAnswerMs) allAnswer = false;
        }
        // Until the first answers could have come, say nothing alarming.
        if (allAnswer) {
            status = tr("Backup: ok");
        } else if (now - m_startedMs > kPingMs) {
            status = tr("Backup: not answering");
        }
    }
    if (status == m_status) return;
    m_status = status;
    emit statusChanged(m_status);
}
