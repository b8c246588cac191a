#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <memory>

#include "remote/OscServer.h"
#include "remote/RemoteShow.h"

// OSC show control on the UI thread: takes the messages the server let through, asks for the
// passcode where one is set, carries out the requests on the show, answers each sender with
// /reply{address} and a JSON text, and pushes the state to subscribed displays at most ten
// times a second, only when it changed.
class OscController : public QObject {
    Q_OBJECT

public:
    struct Settings {
        bool enabled = false;
        OscServer::Config server;
        QString passcode;
    };

    static constexpr int kPushIntervalMs = 100;
    static constexpr int kMaxSubscribers = 16;
    static constexpr int kMaxConnectedSenders = 256;

    explicit OscController(IRemoteShow& show, QObject* parent = nullptr);
    ~OscController() override;

    // Starts, restarts or stops the server for `settings`; false with the reason in `error`
    // when the server could not start. Senders that gave the passcode stay connected unless the
    // passcode changed.
    bool Apply(const Settings& settings, QString* error);
    bool IsRunning() const { return m_server->IsRunning(); }
    OscServer& GetServer() const { return *m_server; }

    // Handles one message as if it came from `from` (the server calls it; tests may too).
    void HandleMessage(const OscPeer& from, const OscMessage& message);

    // How many displays are subscribed.
    int GetSubscriberCount() const { return static_cast<int>(m_subscribers.size()); }

signals:
    // A request was carried out or refused (for the status bar and the log).
    void requestHandled(const QString& sender, const QByteArray& address, bool ok);

private:
    void Reply(const OscPeer& to, const QByteArray& address, const QByteArray& json);
    void PushStatus();

    IRemoteShow& m_show;
    std::unique_ptr<OscServer> m_server;
    Settings m_settings;
    QSet<QString> m_connected;     // hosts that gave the passcode
    QList<OscPeer> m_subscribers;  // displays that asked for /updates
    QByteArray m_lastPushed;
    QTimer m_pushTimer;
};
