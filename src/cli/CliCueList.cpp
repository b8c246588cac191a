#include <QFile>
#include <QFileInfo>
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
#include "platform/text/CaseInsensitiveLookup.h"

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

// "type", "exclusive" and "looped": the readable forms of the cue type and flags, each replacing
// its part of *flags when present.
bool ReadReadableFlags(const QJsonObject& object, qint64* flags, QString* error) {
    const QJsonValue type = object.value(QLatin1String("type"));
    if (!type.isUndefined()) {
        static const char* const kTypeNames[] = {"Normal", "Background", "Multiple", "Automatic"};
        const QString name = type.toString();
        int found = -1;
        for (int i = 0; i < 4; ++i) {
            if (type.isString() &&
                name.compare(QLatin1String(kTypeNames[i]), Qt::CaseInsensitive) == 0)
                found = i;
        }
        if (found < 0) {
            *error = QStringLiteral(
                "\"type\" must be \"Normal\", \"Background\", \"Multiple\" or \"Automatic\".");
            return false;
        }
        *flags = (*flags & ~static_cast<qint64>(CQRecord::kTypeMask)) | found;
    }
    const std::pair<const char*, uint32_t> bits[] = {{"exclusive", CQRecord::kFlagExclusive},
                                                     {"looped", CQRecord::kFlagLooped}};
    for (const auto& [key, bit] : bits) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined()) continue;
        if (!value.isBool()) {
            *error = QStringLiteral("\"%1\" must be true or false.").arg(QLatin1String(key));
            return false;
        }
        *flags = value.toBool() ? (*flags | bit) : (*flags & ~static_cast<qint64>(bit));
    }
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
        !ReadInteger(object, "reserved", 0, 255, &reserved, error) ||
        !ReadReadableFlags(object, &flags, error)) {
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

// What the program would not take as it is: the values the Cue Settings dialog refuses on OK,
// a sound file that is not where the cue list at `listPath` would look for it, and fields that
// build ignores. Each text names the cue and the field.
QStringList CueWarnings(const QJsonObject& object, const CQRecord& cue, const QString& listPath,
                        CaseInsensitiveLookup* lookup) {
    static const QStringList kKnownFields = {
        "id",      "description", "path",     "channel", "volume", "pan",       "flags", "fadeIn",
        "fadeOut", "notes",       "reserved", "texts",   "type",   "exclusive", "looped"};
    QStringList warnings;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!kKnownFields.contains(it.key())) {
            warnings
                << QStringLiteral("\"%1\" is not a field of a cue and is ignored").arg(it.key());
        }
    }
    if (cue.m_nVolume < CQRecord::kMinVolume || cue.m_nVolume > CQRecord::kMaxVolume) {
        warnings << QStringLiteral(
                        "\"volume\" %1 is outside %2..%3, which the Cue Settings "
                        "dialog refuses")
                        .arg(cue.m_nVolume)
                        .arg(CQRecord::kMinVolume)
                        .arg(CQRecord::kMaxVolume);
    }
    if (cue.m_nPan < CQRecord::kMinPan || cue.m_nPan > CQRecord::kMaxPan) {
        warnings << QStringLiteral(
                        "\"pan\" %1 is outside %2..%3, which the Cue Settings dialog "
                        "refuses")
                        .arg(cue.m_nPan)
                        .arg(CQRecord::kMinPan)
                        .arg(CQRecord::kMaxPan);
    }
    const std::pair<const char*, uint32_t> fades[] = {{"fadeIn", cue.m_dwFadeIn},
                                                      {"fadeOut", cue.m_dwFadeOut}};
    for (const auto& [key, ms] : fades) {
        // The dialog shows milliseconds x 0.001 and refuses more than its limit in seconds.
        if (ms * 0.001 > CQRecord::kMaxFadeSeconds) {
            warnings << QStringLiteral(
                            "\"%1\" %2 ms is over %3 seconds, which the Cue Settings "
                            "dialog refuses")
                            .arg(QLatin1String(key))
                            .arg(ms)
                            .arg(CQRecord::kMaxFadeSeconds);
        }
    }
    // A cue without a file name is allowed (the dialog takes one); a named file must be there.
    if (!cue.m_strPath.isEmpty()) {
        // Looked for as the program looks when it opens the list: as written, then in the
        // list's folder under the same name in any letter case.
        CQRecord placed;
        placed.m_strPath = cue.m_strPath;
        placed.ResolvePath(QFile::encodeName(QFileInfo(listPath).absolutePath()), lookup);
        if (!lookup->Exists(placed.m_strPath)) {
            warnings << QStringLiteral("\"path\" %1: no such sound file, here or beside %2")
                            .arg(ToDisplayText(cue.m_strPath), listPath);
        }
    }
    return warnings;
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
    QStringList files = args;
    const bool strict = files.removeAll(QStringLiteral("--strict")) > 0;
    if (files.size() != 2)
        return Fail(QStringLiteral("usage: marvane-cli build [--strict] JSON_FILE OUT_FILE"));
    const QString& jsonPath = files[0];
    const QString& outPath = files[1];
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
    QStringList warnings;
    for (const QString& key : root.keys()) {
        if (key != QLatin1String("lastCueNumber") && key != QLatin1String("cues")) {
            warnings << QStringLiteral("%1: \"%2\" is not a field of a cue list and is ignored")
                            .arg(jsonPath, key);
        }
    }
    CaseInsensitiveLookup lookup;
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
        const QString id = ToDisplayText(cue->m_strID);
        const QString where = QStringLiteral("%1: cue %2%3: ")
                                  .arg(jsonPath)
                                  .arg(i + 1)
                                  .arg(id.isEmpty() ? QString() : " (" + id + ")");
        for (const QString& warning : CueWarnings(array[i].toObject(), *cue, outPath, &lookup)) {
            warnings << where + warning;
        }
        doc.InsertCue(-1, cue.release());
    }
    for (const QString& warning : warnings) {
        const QByteArray text =
            ((strict ? QStringLiteral("error: ") : QStringLiteral("warning: ")) + warning)
                .toLocal8Bit();
        std::fprintf(stderr, "%s\n", text.constData());
    }
    if (strict && !warnings.isEmpty()) {
        return Fail(QStringLiteral("%1 was not written (--strict).").arg(outPath));
    }
    doc.m_nLastCueNumber = static_cast<int32_t>(static_cast<uint32_t>(lastCueNumber));
    if (!doc.OnSaveDocument(outPath, &error)) return Fail(error);
    return 0;
}

}  // namespace cli
