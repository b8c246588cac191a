#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>
#include <vector>

#include "cuelist/CQRecord.h"

// Small helpers shared by the cue list tests.
namespace testcues {

inline QByteArray ReadGolden(const char* name) {
    QFile file(QStringLiteral(MARVANE_TEST_DATA "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly)) return QByteArray();
    return file.readAll();
}

inline QByteArray Hex(const char* hex) { return QByteArray::fromHex(QByteArray(hex)); }

// The cue of the one-cue example: Q010, the file D:\Sounds\Bell.wav, all else initial.
inline std::unique_ptr<CQRecord> BellCue() {
    auto cue = std::make_unique<CQRecord>();
    cue->SetID("Q010");
    cue->SetFilePath("D:\\Sounds\\Bell.wav");
    return cue;
}

// The second cue of the example: Background, Looped, -6 dB, L20, fade-in 1.5 s, channel 1.
inline std::unique_ptr<CQRecord> RainCue() {
    auto cue = std::make_unique<CQRecord>();
    cue->SetID("Q020");
    cue->SetFilePath("D:\\Sounds\\Rain.wav");
    cue->m_dwFlags = CQRecord::kTypeBackground | CQRecord::kFlagLooped;
    cue->m_nVolume = -6;
    cue->m_nPan = -20;
    cue->m_dwFadeIn = 1500;
    cue->m_nChannel = 1;
    return cue;
}

inline bool SameStoredFields(const CQRecord& a, const CQRecord& b) {
    return a.m_strID == b.m_strID && a.m_strDescription == b.m_strDescription &&
           a.m_strPath == b.m_strPath && a.m_nChannel == b.m_nChannel &&
           a.m_nVolume == b.m_nVolume && a.m_nPan == b.m_nPan &&
           a.m_dwFlags.load() == b.m_dwFlags.load() && a.m_dwFadeIn == b.m_dwFadeIn &&
           a.m_dwFadeOut == b.m_dwFadeOut && a.m_strNotes == b.m_strNotes &&
           a.m_byReserved == b.m_byReserved;
}

}  // namespace testcues
