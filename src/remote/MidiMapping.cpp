#include "remote/MidiMapping.h"

#include <QRegularExpression>

#include "remote/OscAddressMap.h"

namespace {

constexpr int kMaxActionLength = 128;

const char* TypeWord(MidiEvent::Type type) {
    switch (type) {
        case MidiEvent::Type::ProgramChange:
            return "program";
        case MidiEvent::Type::ControlChange:
            return "cc";
        default:
            return "note";
    }
}

std::optional<int> Number(const QString& text, int min, int max) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace

bool MidiMapping::Matches(const MidiEvent& event) const {
    if (event.type != type || event.number != number) return false;
    if (channel >= 0 && event.channel != channel) return false;
    return type == MidiEvent::Type::ProgramChange || event.value >= threshold;
}

std::optional<RemoteRequest> MidiMapping::Request(QString* error) const {
    QString scratch;
    if (error == nullptr) error = &scratch;
    const QStringList words = action.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > 2 || action.size() > kMaxActionLength) {
        *error = QStringLiteral("an action is an address, optionally with 0, 1 or 2 after it");
        return std::nullopt;
    }
    OscMessage message;
    message.address = words[0].toUtf8();
    if (words.size() == 2) {
        const std::optional<int> target = Number(words[1], 0, 2);
        if (!target) {
            *error = QStringLiteral("target must be 0, 1 or 2");
            return std::nullopt;
        }
        message.args.append(OscArg::Int(*target));
    }
    std::optional<RemoteRequest> request = osc::MapMessage(message, error);
    if (!request) return std::nullopt;
    switch (request->kind) {
        case RemoteRequest::Kind::Status:
        case RemoteRequest::Kind::Updates:
        case RemoteRequest::Kind::Connect:
        case RemoteRequest::Kind::Reply:
            *error = QStringLiteral("not a show action");
            return std::nullopt;
        default:
            return request;
    }
}

QString MidiMapping::ToText() const {
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(QLatin1String(TypeWord(type)),
             channel < 0 ? QStringLiteral("any") : QString::number(channel + 1))
        .arg(number)
        .arg(threshold)
        .arg(action.simplified());
}

std::optional<MidiMapping> MidiMapping::FromText(const QString& text) {
    const QStringList words = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 5 || words.size() > 6) return std::nullopt;
    MidiMapping mapping;
    const QString type = words[0].toLower();
    if (type == QLatin1String("note")) {
        mapping.type = MidiEvent::Type::NoteOn;
    } else if (type == QLatin1String("program")) {
        mapping.type = MidiEvent::Type::ProgramChange;
    } else if (type == QLatin1String("cc")) {
        mapping.type = MidiEvent::Type::ControlChange;
    } else {
        return std::nullopt;
    }
    if (words[1].compare(QLatin1String("any"), Qt::CaseInsensitive) != 0) {
        const std::optional<int> channel = Number(words[1], 1, 16);
        if (!channel) return std::nullopt;
        mapping.channel = *channel - 1;
    }
    const std::optional<int> number = Number(words[2], 0, 127);
    const std::optional<int> threshold = Number(words[3], 0, 127);
    if (!number || !threshold) return std::nullopt;
    mapping.number = *number;
    mapping.threshold = *threshold;
    mapping.action = words.mid(4).join(QLatin1Char(' '));
    if (!mapping.Request()) return std::nullopt;
    return mapping;
}

QList<MidiMapping> MidiMapping::Defaults() {
    return {MidiMapping{MidiEvent::Type::NoteOn, -1, 60, 0, QStringLiteral("/go")},
            MidiMapping{MidiEvent::Type::NoteOn, -1, 61, 0, QStringLiteral("/stop")}};
}

QStringList MidiMapping::ToTexts(const QList<MidiMapping>& mappings) {
    QStringList texts;
    for (const MidiMapping& mapping : mappings) texts.append(mapping.ToText());
    return texts;
}

QList<MidiMapping> MidiMapping::FromTexts(const QStringList& texts) {
    QList<MidiMapping> mappings;
    for (const QString& text : texts) {
        if (const std::optional<MidiMapping> mapping = FromText(text)) mappings.append(*mapping);
    }
    return mappings;
}

QStringList MidiMapping::ActionChoices() {
    QStringList choices{QStringLiteral("/go"), QStringLiteral("/stop"), QStringLiteral("/panic")};
    for (const char* live : {"fadeIn", "fadeOut", "kill", "speedUp", "slowDown", "normalSpeed",
                             "volumeUp", "volumeDown"}) {
        for (int target = 0; target <= 2; ++target)
            choices.append(QStringLiteral("/live/%1 %2").arg(QLatin1String(live)).arg(target));
    }
    choices << QStringLiteral("/cue/{id}/start") << QStringLiteral("/cue/{id}/stop")
            << QStringLiteral("/cue/{id}/fadeOut") << QStringLiteral("/select/{id}");
    return choices;
}
