#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "cli/Commands.h"
#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "cuelist/CueListFile.h"
#include "platform/text/AnsiText.h"

namespace cli {

namespace {

int Fail(const QString& message) {
    std::fputs(message.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    return 1;
}

QJsonObject CueToJson(const CQRecord& cue) {
    QJsonObject object;
    object.insert(QStringLiteral("id"), ToDisplayText(cue.m_strID));
    object.insert(QStringLiteral("description"), ToDisplayText(cue.m_strDescription));
    object.insert(QStringLiteral("path"), ToDisplayText(cue.m_strPath));
    object.insert(QStringLiteral("channel"), cue.m_nChannel);
    object.insert(QStringLiteral("volume"), cue.m_nVolume);
    object.insert(QStringLiteral("pan"), cue.m_nPan);
    object.insert(QStringLiteral("flags"), static_cast<qint64>(cue.m_dwFlags.load()));
    object.insert(QStringLiteral("fadeIn"), static_cast<qint64>(cue.m_dwFadeIn));
    object.insert(QStringLiteral("fadeOut"), static_cast<qint64>(cue.m_dwFadeOut));
    object.insert(QStringLiteral("notes"), ToDisplayText(cue.m_strNotes));
    object.insert(QStringLiteral("reserved"), static_cast<int>(cue.m_byReserved));
    object.insert(QStringLiteral("texts"), QJsonArray::fromStringList(cue.GetRowTexts()));
    return object;
}

// Reads an integer field into *value when it is there; false with *error set when it is not
// a whole number within [low, high].
bool ReadInteger(const QJsonObject& object, const char* key, qint64 low, qint64 high, qint64* value,
                 QString* error) {
    const QJsonValue field = object.value(QLatin1String(key));
    if (field.isUndefined()) return true;
    const double number = field.toDouble(std::numeric_limits<double>::quiet_NaN());
    // The range first: converting a double beyond 64 bits (1e300) to an integer is undefined.
    if (!field.isDouble() || !(number >= static_cast<double>(low)) ||
        !(number <= static_cast<double>(high)) ||
        number != static_cast<double>(static_cast<qint64>(number))) {
        *error = QStringLiteral("\"%1\" must be a whole number from %2 to %3.")
                     .arg(QLatin1String(key))
                     .arg(low)
                     .arg(high);
        return false;
    }
    *value = static_cast<qint64>(number);
    return true;
}

bool ReadText(const QJsonObject& object, const char* key, QByteArray* value, QString* error) {
    const QJsonValue field = object.value(QLatin1String(key));
    if (field.isUndefined()) return true;
    if (!field.isString()) {
        *error = QStringLiteral("\"%1\" must be a text.").arg(QLatin1String(key));
        return false;
    }
    *value = FromEditedText(field.toString());
    return true;
}

bool CueFromJson(const QJsonObject& object, CQRecord* cue, QString* error) {
    constexpr qint64 kIntMin = std::numeric_limits<int32_t>::min();
    constexpr qint64 kIntMax = std::numeric_limits<int32_t>::max();
    constexpr qint64 kUintMax = std::numeric_limits<uint32_t>::max();
    qint64 channel = cue->m_nChannel;
    qint64 volume = cue->m_nVolume;
    qint64 pan = cue->m_nPan;
    qint64 flags = cue->m_dwFlags.load();
    qint64 fadeIn = cue->m_dwFadeIn;
    qint64 fadeOut = cue->m_dwFadeOut;
    qint64 reserved = cue->m_byReserved;
    if (!ReadText(object, "id", &cue->m_strID, error) ||
        !ReadText(object, "description", &cue->m_strDescription, error) ||
        !ReadText(object, "path", &cue->m_strPath, error) ||
        !ReadText(object, "notes", &cue->m_strNotes, error) ||
        !ReadInteger(object, "channel", kIntMin, kIntMax, &channel, error) ||
        !ReadInteger(object, "volume", kIntMin, kIntMax, &volume, error) ||
        !ReadInteger(object, "pan", kIntMin, kIntMax, &pan, error) ||
        !ReadInteger(object, "flags", 0, kUintMax, &flags, error) ||
        !ReadInteger(object, "fadeIn", 0, kUintMax, &fadeIn, error) ||
        !ReadInteger(object, "fadeOut", 0, kUintMax, &fadeOut, error) ||
        !ReadInteger(object, "reserved", 0, 255, &reserved, error)) {
        return false;
    }
    cue->m_nChannel = static_cast<int32_t>(channel);
    cue->m_nVolume = static_cast<int32_t>(volume);
    cue->m_nPan = static_cast<int32_t>(pan);
    cue->m_dwFlags = static_cast<uint32_t>(flags);
    cue->m_dwFadeIn = static_cast<uint32_t>(fadeIn);
    cue->m_dwFadeOut = static_cast<uint32_t>(fadeOut);
    cue->m_byReserved = static_cast<uint8_t>(reserved);
    return true;
}

}  // namespace

int RunDump(const QStringList& args) {
    if (args.size() != 1) return Fail(QStringLiteral("usage: marvane-cli dump FILE"));
    const QString& path = args[0];
    QByteArray contents;
    FileError::Cause cause = FileError::kNone;
    const CueListFile::ReadResult result =
        CueListFile::Read(QFile::encodeName(path), &contents, &cause);
    if (result == CueListFile::kOpenFailed) return Fail(FileError::Message(cause, path));
    if (result == CueListFile::kReadFailed) return Fail(QStringLiteral("Failed to open document."));

    std::vector<std::unique_ptr<CQRecord>> cues;
    uint32_t lastCueNumber = 0;
    if (!contents.isEmpty()) {
        CueArchive ar{QByteArrayView(contents)};
        ar.ReadCueArray(&cues);
        lastCueNumber = ar.ReadDword();
        if (ar.Failed()) {
            return Fail(CueArchive::IsFormatFault(ar.GetCause())
                            ? QStringLiteral("Unexpected file format.")
                            : QStringLiteral("Failed to open document."));
        }
    }
    QJsonArray array;
    for (const auto& cue : cues) array.append(CueToJson(*cue));
    QJsonObject root;
    root.insert(QStringLiteral("lastCueNumber"), static_cast<int32_t>(lastCueNumber));
    root.insert(QStringLiteral("cues"), array);
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int RunBuild(const QStringList& args) {
    if (args.size() != 2)
        return Fail(QStringLiteral("usage: marvane-cli build JSON_FILE OUT_FILE"));
    const QString& jsonPath = args[0];
    const QString& outPath = args[1];
    QByteArray json;
    FileError::Cause cause = FileError::kNone;
    const CueListFile::ReadResult result =
        CueListFile::Read(QFile::encodeName(jsonPath), &json, &cause);
    if (result == CueListFile::kOpenFailed) return Fail(FileError::Message(cause, jsonPath));
    if (result == CueListFile::kReadFailed) {
        return Fail(FileError::Message(FileError::kGeneric, jsonPath));
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        const QString why = parseError.error != QJsonParseError::NoError
                                ? parseError.errorString()
                                : QStringLiteral("not an object");
        return Fail(QStringLiteral("%1 is not a cue list description: %2").arg(jsonPath, why));
    }
    const QJsonObject root = document.object();
    CMVDoc doc;
    QString error;
    qint64 lastCueNumber = 0;
    if (!ReadInteger(root, "lastCueNumber", std::numeric_limits<int32_t>::min(),
                     std::numeric_limits<uint32_t>::max(), &lastCueNumber, &error)) {
        return Fail(QStringLiteral("%1: %2").arg(jsonPath, error));
    }
    const QJsonValue cues = root.value(QStringLiteral("cues"));
    if (!cues.isUndefined() && !cues.isArray()) {
        return Fail(QStringLiteral("%1: \"cues\" must be an array.").arg(jsonPath));
    }
    const QJsonArray array = cues.toArray();
    if (array.size() > 0xFFFFFFFE) {
        return Fail(QStringLiteral("%1: too many cues.").arg(jsonPath));
    }
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array[i].isObject()) {
            return Fail(QStringLiteral("%1: cue %2 must be an object.").arg(jsonPath).arg(i + 1));
        }
        auto cue = std::make_unique<CQRecord>();
        if (!CueFromJson(array[i].toObject(), cue.get(), &error)) {
            return Fail(QStringLiteral("%1: cue %2: %3").arg(jsonPath).arg(i + 1).arg(error));
        }
        doc.InsertCue(-1, cue.release());
    }
    doc.m_nLastCueNumber = static_cast<int32_t>(static_cast<uint32_t>(lastCueNumber));
    if (!doc.OnSaveDocument(outPath, &error)) return Fail(error);
    return 0;
}

}  // namespace cli
