#include "remote/OscAddressMap.h"

#include <QStringList>
#include <array>

#include "view/CommandIds.h"

namespace osc {
namespace {

struct LiveCommand {
    const char* word;
    int command;
};

constexpr std::array<LiveCommand, 8> kLiveCommands = {{
    {"fadeIn", ID_AUDIO_FADEIN},
    {"fadeOut", ID_AUDIO_FADEOUT},
    {"kill", ID_AUDIO_KILL},
    {"speedUp", ID_AUDIO_SPEEDUP},
    {"slowDown", ID_AUDIO_SLOWDOWN},
    {"normalSpeed", ID_AUDIO_NORMALSPEED},
    {"volumeUp", ID_AUDIO_VOLUP},
    {"volumeDown", ID_AUDIO_VOLDOWN},
}};

bool Is(const QString& word, const char* expected) {
    return word.compare(QLatin1String(expected), Qt::CaseInsensitive) == 0;
}

// An integer argument: int, or a float of an integral value (some desks send only floats).
std::optional<qint64> IntArg(const OscArg& arg) {
    if (arg.type == 'i') return arg.i;
    if (arg.type == 'f' && arg.f >= -1e9 && arg.f <= 1e9 && arg.f == static_cast<qint64>(arg.f))
        return static_cast<qint64>(arg.f);
    return std::nullopt;
}

bool ValidCueId(const QString& id, QString* error) {
    if (id.isEmpty()) {
        *error = QStringLiteral("no cue ID in the address");
        return false;
    }
    if (id.size() > kMaxCueIdLength) {
        *error = QStringLiteral("cue ID too long");
        return false;
    }
    return true;
}

std::optional<RemoteRequest> Fail(QString* error, const QString& message) {
    *error = message;
    return std::nullopt;
}

}  // namespace

std::optional<RemoteRequest> MapMessage(const OscMessage& message, QString* error) {
    QString scratch;
    if (error == nullptr) error = &scratch;
    if (message.address.size() > kMaxAddressLength)
        return Fail(error, QStringLiteral("address too long"));
    const QString address = QString::fromUtf8(message.address);
    if (!address.startsWith(QLatin1Char('/'))) return Fail(error, QStringLiteral("bad address"));
    const QStringList parts = address.mid(1).split(QLatin1Char('/'));
    const QString& head = parts.front();
    const QList<OscArg>& args = message.args;
    RemoteRequest request;

    auto noArgs = [&]() -> bool {
        if (!args.isEmpty()) *error = QStringLiteral("unexpected arguments");
        return args.isEmpty();
    };

    if (parts.size() == 1) {
        if (Is(head, "go") || Is(head, "stop") || Is(head, "panic") || Is(head, "status")) {
            if (!noArgs()) return std::nullopt;
            if (Is(head, "go")) {
                request.command = ID_AUDIO_GO;
            } else if (Is(head, "stop")) {
                request.command = ID_AUDIO_STOPALL;
            } else if (Is(head, "panic")) {
                request.kind = RemoteRequest::Kind::Panic;
            } else {
                request.kind = RemoteRequest::Kind::Status;
            }
            return request;
        }
        if (Is(head, "updates")) {
            request.kind = RemoteRequest::Kind::Updates;
            if (args.size() > 1) return Fail(error, QStringLiteral("unexpected arguments"));
            if (args.size() == 1) {
                const std::optional<qint64> on = IntArg(args.front());
                if (!on || (*on != 0 && *on != 1))
                    return Fail(error, QStringLiteral("argument must be 1 or 0"));
                request.on = *on == 1;
            }
            return request;
        }
        if (Is(head, "connect")) {
            if (args.size() != 1 || args.front().type != 's')
                return Fail(error, QStringLiteral("a passcode text is required"));
            request.kind = RemoteRequest::Kind::Connect;
            request.text = QString::fromUtf8(args.front().s);
            return request;
        }
    }
    if (Is(head, "reply") && parts.size() >= 2) {
        request.kind = RemoteRequest::Kind::Reply;
        if (!args.isEmpty() && args.front().type == 's')
            request.text = QString::fromUtf8(args.front().s);
        return request;
    }
    if (Is(head, "cue") && parts.size() >= 3) {
        // The ID is everything between "/cue/" and the last word, so an ID may hold a '/'.
        const QString& verb = parts.back();
        const QString id = parts.mid(1, parts.size() - 2).join(QLatin1Char('/'));
        if (Is(verb, "start")) {
            request.kind = RemoteRequest::Kind::StartCue;
        } else if (Is(verb, "stop")) {
            request.kind = RemoteRequest::Kind::StopCue;
        } else if (Is(verb, "fadeOut")) {
            request.kind = RemoteRequest::Kind::FadeOutCue;
        } else {
            return Fail(error, QStringLiteral("unknown address"));
        }
        if (!ValidCueId(id, error) || !noArgs()) return std::nullopt;
        request.cueId = id;
        return request;
    }
    if ((Is(head, "select") || Is(head, "playhead")) && parts.size() >= 2) {
        const QString id = parts.mid(1).join(QLatin1Char('/'));
        if (!ValidCueId(id, error) || !noArgs()) return std::nullopt;
        request.kind = RemoteRequest::Kind::SelectCue;
        request.cueId = id;
        return request;
    }
    if (Is(head, "live") && parts.size() == 2) {
        for (const LiveCommand& live : kLiveCommands) {
            if (!Is(parts[1], live.word)) continue;
            request.command = live.command;
            if (args.size() > 1) return Fail(error, QStringLiteral("unexpected arguments"));
            if (args.size() == 1) {
                const std::optional<qint64> target = IntArg(args.front());
                if (!target || *target < 0 || *target > 2)
                    return Fail(error, QStringLiteral("target must be 0, 1 or 2"));
                request.target = static_cast<int>(*target);
            }
            return request;
        }
    }
    return Fail(error, QStringLiteral("unknown address"));
}

OscMessage MessageFor(const RemoteRequest& request) {
    OscMessage message;
    auto cueAddress = [&](const char* verb) {
        return QByteArray("/cue/") + request.cueId.toUtf8() + '/' + verb;
    };
    switch (request.kind) {
        case RemoteRequest::Kind::Command:
            if (request.command == ID_AUDIO_GO) {
                message.address = "/go";
            } else if (request.command == ID_AUDIO_STOPALL) {
                message.address = "/stop";
            } else {
                for (const LiveCommand& live : kLiveCommands) {
                    if (live.command == request.command)
                        message.address = QByteArray("/live/") + live.word;
                }
                message.args.append(OscArg::Int(request.target));
            }
            break;
        case RemoteRequest::Kind::Panic:
            message.address = "/panic";
            break;
        case RemoteRequest::Kind::StartCue:
        case RemoteRequest::Kind::MscGo:
            message.address = cueAddress("start");
            break;
        case RemoteRequest::Kind::StopCue:
        case RemoteRequest::Kind::MscStop:
            message.address = cueAddress("stop");
            break;
        case RemoteRequest::Kind::FadeOutCue:
            message.address = cueAddress("fadeOut");
            break;
        case RemoteRequest::Kind::SelectCue:
            message.address = QByteArray("/select/") + request.cueId.toUtf8();
            break;
        case RemoteRequest::Kind::Status:
            message.address = "/status";
            break;
        case RemoteRequest::Kind::Updates:
            message.address = "/updates";
            message.args.append(OscArg::Int(request.on ? 1 : 0));
            break;
        case RemoteRequest::Kind::Connect:
            message.address = "/connect";
            message.args.append(OscArg::Text(request.text.toUtf8()));
            break;
        case RemoteRequest::Kind::Reply:
            message.address = "/reply";
            message.args.append(OscArg::Text(request.text.toUtf8()));
            break;
    }
    return message;
}

}  // namespace osc
