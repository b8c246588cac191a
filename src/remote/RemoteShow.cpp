#include "remote/RemoteShow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

QByteArray ShowStatus::ToJson() const {
    QJsonArray cues;
    for (const Playing& cue : playing) {
        cues.append(
            QJsonObject{{QStringLiteral("id"), cue.id},
                        {QStringLiteral("description"), cue.description},
                        {QStringLiteral("elapsedMs"), static_cast<qint64>(cue.elapsedMs)},
                        {QStringLiteral("remainingMs"), static_cast<qint64>(cue.remainingMs)}});
    }
    const QJsonObject object{{QStringLiteral("status"), QStringLiteral("ok")},
                             {QStringLiteral("playing"), cues},
                             {QStringLiteral("highlighted"), highlighted},
                             {QStringLiteral("file"), file}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

namespace remote {
namespace {

// A cue number as a canonical text: digits of the whole part without leading zeros, then the
// fraction without trailing zeros ("010.50" -> "10.5"). nullopt when it is not such a number.
std::optional<QString> CanonicalNumber(const QString& text) {
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    QString whole = dot < 0 ? text : text.left(dot);
    QString fraction = dot < 0 ? QString() : text.mid(dot + 1);
    if (whole.isEmpty() && fraction.isEmpty()) return std::nullopt;
    for (const QString* part : {&whole, &fraction}) {
        for (QChar c : *part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        }
    }
    while (whole.size() > 1 && whole.front() == QLatin1Char('0')) whole.remove(0, 1);
    if (whole.isEmpty()) whole = QStringLiteral("0");
    while (!fraction.isEmpty() && fraction.back() == QLatin1Char('0')) fraction.chop(1);
    return fraction.isEmpty() ? whole : whole + QLatin1Char('.') + fraction;
}

// The number in a cue ID: what follows its leading letters and spaces ("Q010" -> "10").
std::optional<QString> NumberOfId(const QString& id) {
    qsizetype start = 0;
    while (start < id.size() && !id[start].isDigit() && id[start] != QLatin1Char('.')) ++start;
    if (start == id.size()) return std::nullopt;
    return CanonicalNumber(id.mid(start).trimmed());
}

}  // namespace

QByteArray ResultJson(const RemoteResult& result) {
    QJsonObject object{
        {QStringLiteral("status"), result.ok ? QStringLiteral("ok") : QStringLiteral("error")}};
    if (!result.ok) object.insert(QStringLiteral("message"), result.message);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int MatchCueNumber(const QString& number, const QStringList& ids) {
    const QString wanted = number.trimmed();
    if (wanted.isEmpty()) return -1;
    for (int k = 0; k < ids.size(); ++k) {
        if (ids[k].trimmed().compare(wanted, Qt::CaseInsensitive) == 0) return k;
    }
    const std::optional<QString> canonical = CanonicalNumber(wanted);
    if (!canonical) return -1;
    for (int k = 0; k < ids.size(); ++k) {
        if (NumberOfId(ids[k]) == canonical) return k;
    }
    return -1;
}

}  // namespace remote
