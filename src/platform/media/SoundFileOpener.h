#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "platform/media/SoundReader.h"

// Chooses the reader for a cue's sound file: our RIFF reader for ".WAV" files, libsndfile for
// the compressed and other sound formats, and raw 16-bit sound for any other file whose
// contents libsndfile does not recognise.
namespace mvmedia {

// The extensions (lower case, dot included) of the files libsndfile decodes for us.
const QStringList& DecodedExtensions();
// True for ".wav" and the decoded extensions, in any letter case.
bool IsSoundFileName(const QByteArray& path);
// True for the decoded extensions only.
bool IsDecodedFileName(const QByteArray& path);

struct OpenedSound {
    enum class Error {
        None,
        CannotOpen,   // missing, unreadable, or a sound extension that cannot be decoded
        NotPlayable,  // a ".WAV" file our reader refuses; the player fails without a message
    };
    std::unique_ptr<SoundReader> reader;  // set when `error` is None
    Error error = Error::None;
    // Why it failed, for the operator: "File not found: /show/bell.wav", "64-bit float WAV".
    QString reason;
};

// Opens `path` (or, when it is missing, a file whose name differs only in letter case) and
// prepares its reader at the first frame. Any thread; reads only the file's header.
OpenedSound OpenSoundFile(const QByteArray& path);

}  // namespace mvmedia
