#include "remote/OscController.h"

#include "remote/OscAddressMap.h"

OscController::OscController(IRemoteShow& show, QObject* parent)
    : QObject(parent),
      m_show(show),
      m_server(std::make_unique<OscServer>(
          [this](const OscPeer& from, const OscMessage& message) { HandleMessage(from, message); },
          this)) {
    m_pushTimer.setInterval(kPushIntervalMs);
    connect(&m_pushTimer, &QTimer::timeout, this, &OscController::PushStatus);
}

OscController::~OscController() { m_server->Stop(); }

bool OscController::Apply(const Settings& settings, QString* error) {
    if (settings.passcode != m_settings.passcode) m_connected.clear();
    const bool restart = settings.enabled != m_settings.enabled ||
                         settings.server.port != m_settings.server.port ||
                         settings.server.interfaceAddress != m_settings.server.interfaceAddress ||
                         settings.server.allowedSenders != m_settings.server.allowedSenders ||
                         settings.enabled != m_server->IsRunning();
    m_settings = settings;
    if (!restart) return true;
    m_server->Stop();
    m_subscribers.clear();
    m_pushTimer.stop();
    if (!settings.enabled) return true;
    return m_server->Start(settings.server, error);
}

void OscController::Reply(const OscPeer& to, const QByteArray& address, const QByteArray& json) {
    m_server->Send(to, osc::EncodeMessage(QByteArray("/reply") + address, {OscArg::Text(json)}));
}

void OscController::HandleMessage(const OscPeer& from, const OscMessage& message) {
    QString error;
    const std::optional<RemoteRequest> request = osc::MapMessage(message, &error);
    // Replies are never answered: two machines answering each other would never stop.
    if (request && request->kind == RemoteRequest::Kind::Reply) return;
    if (message.address.startsWith("/reply")) return;

    RemoteResult result;
    if (!request) {
        result = RemoteResult::Error(error);
    } else if (request->kind == RemoteRequest::Kind::Connect) {
        if (m_settings.passcode.isEmpty() || request->text == m_settings.passcode) {
            if (!m_settings.passcode.isEmpty()) {
                if (m_connected.size() >= kMaxConnectedSenders) m_connected.clear();
                m_connected.insert(from.host);
            }
        } else {
            result = RemoteResult::Error(QStringLiteral("wrong passcode"));
        }
    } else if (!m_settings.passcode.isEmpty() && !m_connected.contains(from.host)) {
        result = RemoteResult::Error(QStringLiteral("passcode required"));
    } else if (request->kind == RemoteRequest::Kind::Status) {
        Reply(from, message.address, m_show.GetStatus().ToJson());
        emit requestHandled(from.host, message.address, true);
        return;
    } else if (request->kind == RemoteRequest::Kind::Updates) {
        const qsizetype index = m_subscribers.indexOf(from);
        if (!request->on) {
            if (index >= 0) m_subscribers.removeAt(index);
        } else if (index < 0) {
            if (m_subscribers.size() >= kMaxSubscribers) {
                result = RemoteResult::Error(QStringLiteral("too many subscribers"));
            } else {
                m_subscribers.append(from);
                m_lastPushed.clear();  // the newcomer gets the state at the next tick
            }
        }
        if (m_subscribers.isEmpty()) {
            m_pushTimer.stop();
        } else if (!m_pushTimer.isActive()) {
            m_pushTimer.start();
        }
    } else {
        result = m_show.Perform(*request, CommandSource::FromOsc(from.host));
    }
    Reply(from, message.address, remote::ResultJson(result));
    emit requestHandled(from.host, message.address, result.ok);
}

void OscController::PushStatus() {
    if (m_subscribers.isEmpty()) {
        m_pushTimer.stop();
        return;
    }
    const QByteArray json = m_show.GetStatus().ToJson();
    if (json == m_lastPushed) return;
    m_lastPushed = json;
    const QByteArray packet = osc::EncodeMessage("/update/status", {OscArg::Text(json)});
    for (const OscPeer& subscriber : m_subscribers) m_server->Send(subscriber, packet);
}
