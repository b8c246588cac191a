#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <cmath>
#include <cstdint>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "platform/media/WaveHeader.h"

namespace viewtest {

// Writes a 44100 Hz 16-bit stereo WAV file holding `ms` milliseconds of a quiet tone.
inline bool WriteTone(const QString& path, int ms) {
    const uint32_t frames = static_cast<uint32_t>(44100LL * ms / 1000);
    QByteArray data(static_cast<qsizetype>(frames) * 4, '\0');
    for (uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<int16_t>(3000.0 * std::sin(i * 2 * M_PI * 440.0 / 44100.0));
        qToLittleEndian<int16_t>(sample, data.data() + i * 4);
        qToLittleEndian<int16_t>(sample, data.data() + i * 4 + 2);
    }
    const auto header = PcmWaveHeader(2, 44100, 16, static_cast<uint32_t>(data.size()));
    const QByteArray file = QByteArray(header.data(), header.size()) + data;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    return out.write(file) == file.size();
}

// Appends a cue for `path` of the given type and flags to the document.
inline CQRecord* AddCue(CMVDoc& doc, const QString& path, uint32_t flags,
                        uint32_t fadeOutMs = CQRecord::kDefaultFadeOutMs) {
    CQRecord* cue = doc.AddCue(-1);
    cue->SetFilePath(path.toUtf8());
    cue->m_dwFlags = flags;
    cue->m_dwFadeOut = fadeOutMs;
    return cue;
}

}  // namespace viewtest
