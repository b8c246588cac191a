#pragma once

#include <sys/socket.h>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "remote/RemoteRequest.h"

class QSocketNotifier;
struct ShowAction;

namespace remote {
// What a backup machine is sent for an action of the operator here: a Go as a start of each
// cue it started (the backup's highlight may differ), Stop All as /stop, live commands and
// commands on one cue as themselves. Actions that came over OSC give nothing, so two machines
// that name each other cannot loop; MIDI, plugged into this machine, is forwarded like a key.
// Any thread.
QList<RemoteRequest> ForwardedRequests(const ShowAction& action);
}  // namespace remote

// The machines that follow this one: each operator action is sent to every peer as OSC the
// moment it is carried out, from a socket of the link's own, where the peers' replies come
// back. A peer that answered within kAnswerMs is "ok"; the link asks every kPingMs whether the
// peers are there. UI thread.
class BackupLink : public QObject {
    Q_OBJECT

public:
    static constexpr int kPingMs = 1000;
    static constexpr int kAnswerMs = 3000;

    explicit BackupLink(QObject* parent = nullptr);
    ~BackupLink() override;

    // "host:port" of each peer; `passcode`, when set, is sent to them with /connect. Host names
    // are looked up here, once. Returns false with the peers that could not be used in `error`;
    // the others are used all the same.
    bool SetPeers(const QStringList& peers, const QString& passcode, QString* error);
    int GetPeerCount() const { return static_cast<int>(m_peers.size()); }

    // Sends what `action` asks of the peers (nothing for actions from remote controllers).
    void Forward(const ShowAction& action);
    // Sends one request to every peer.
    void Send(const RemoteRequest& request);

    // "Backup: ok", "Backup: not answering", or empty without peers.
    QString GetStatusText() const { return m_status; }

signals:
    void statusChanged(const QString& text);

private:
    struct Peer {
        QString name;
        sockaddr_storage address{};
        socklen_t length = 0;
        qint64 lastAnswerMs = 0;
    };

    void OnReadable();
    void Ping();
    void UpdateStatus();
    void Close();

    QList<Peer> m_peers;
    QString m_passcode;
    int m_socket = -1;
    QSocketNotifier* m_pNotifier = nullptr;
    QTimer m_pingTimer;
    qint64 m_startedMs = 0;
    QString m_status;
};
