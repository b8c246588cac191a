#include "platform/media/SoundFileOpener.h"

#include "platform/media/SndfileReader.h"
#include "platform/media/WaveFile.h"
#include "platform/media/WaveReader.h"
#include "platform/text/PathRules.h"

namespace mvmedia {

const QStringList& DecodedExtensions() {
    static const QStringList kExtensions = {
        QStringLiteral(".aif"),  QStringLiteral(".aiff"), QStringLiteral(".aifc"),
        QStringLiteral(".flac"), QStringLiteral(".ogg"),  QStringLiteral(".oga"),
        QStringLiteral(".opus"), QStringLiteral(".mp3"),  QStringLiteral(".caf"),
        QStringLiteral(".w64"),  QStringLiteral(".rf64"),
    };
    return kExtensions;
}

bool IsDecodedFileName(const QByteArray& path) {
    const QString ext = QString::fromLatin1(mvpath::FindExtension(path));
    return DecodedExtensions().contains(ext, Qt::CaseInsensitive);
}

bool IsSoundFileName(const QByteArray& path) {
    return mvpath::FindExtension(path).compare(".wav", Qt::CaseInsensitive) == 0 ||
           IsDecodedFileName(path);
}

OpenedSound OpenSoundFile(const QByteArray& path) {
    OpenedSound result;
    auto file = std::make_unique<WaveFile>();
    if (!file->Open(path)) {
        // A list made on a system that ignores letter case names its files loosely.
        const QByteArray existing = mvpath::FindExistingIgnoringCase(path);
        if (existing.isEmpty() || !file->Open(existing)) {
            result.error = OpenedSound::Error::CannotOpen;
            const QString shown = QString::fromLocal8Bit(path);
            result.reason = existing.isEmpty() && !mvpath::FileExists(path)
                                ? QStringLiteral("File not found: %1").arg(shown)
                                : QStringLiteral("File cannot be read: %1").arg(shown);
            return result;
        }
    }

    if (mvpath::FindExtension(path).compare(".wav", Qt::CaseInsensitive) == 0) {
        auto reader = std::make_unique<WaveReader>(std::move(file));
        if (reader->OpenWave()) {
            result.reader = std::move(reader);
        } else {
            result.error = OpenedSound::Error::NotPlayable;
            // The reader still holds the file: say what is wrong with it.
            result.reason = reader->Describe();
        }
        return result;
    }

    auto decoded = std::make_unique<SndfileReader>(std::move(file));
    QString error;
    if (decoded->Open(&error)) {
        result.reader = std::move(decoded);
        return result;
    }
    if (IsDecodedFileName(path)) {
        // Compressed bytes played as raw sound would be full-level noise.
        result.error = OpenedSound::Error::CannotOpen;
        result.reason = error;
        return result;
    }
    auto raw = std::make_unique<WaveReader>(decoded->ReleaseFile());
    if (!raw->OpenRaw()) {
        result.error = OpenedSound::Error::NotPlayable;
        result.reason = QStringLiteral("not a sound file this program can play");
        return result;
    }
    result.reader = std::move(raw);
    return result;
}

}  // namespace mvmedia
