#include "cuelist/CQRecord.h"

#include <cstdio>

#include "cuelist/CueArchive.h"
#include "platform/text/AnsiText.h"
#include "platform/text/CaseInsensitiveLookup.h"
#include "platform/text/PathRules.h"

CQRecord::CQRecord() = default;

CQRecord::~CQRecord() = default;

void CQRecord::SetID(const QByteArray& id) { m_strID = id; }

void CQRecord::SetFilePath(const QByteArray& path) {
    const QByteArray oldBase = mvpath::RemoveExtension(mvpath::FindFileName(m_strPath));
    if (m_strDescription == oldBase) {
        m_strDescription = mvpath::RemoveExtension(mvpath::FindFileName(path));
    }
    m_strPath = path;
}

void CQRecord::ResolvePath(const QByteArray& folder, CaseInsensitiveLookup* lookup) {
    CaseInsensitiveLookup ownLookup;
    if (lookup == nullptr) lookup = &ownLookup;
    if (lookup->Exists(m_strPath)) return;
    // A cue without a file name has nothing to look for: it is not pointed at the folder.
    const QByteArray name = mvpath::FindFileName(m_strPath);
    if (name.isEmpty()) return;
    // The same file under a name that differs only in letter case still counts as there.
    const QByteArray sameFolder = lookup->Find(m_strPath);
    if (!sameFolder.isEmpty()) {
        m_strPath = sameFolder;
        return;
    }
    QByteArray moved;
    if (!mvpath::Append(folder, name, &moved)) {
        return;  // too long for the file system: the cue keeps its path
    }
    const QByteArray found = lookup->Find(moved);
    // A file missing in the folder too is reported when the cue is played.
    m_strPath = found.isEmpty() ? moved : found;
}

bool CQRecord::IsWaveFile() const {
    return mvpath::FindExtension(m_strPath).compare(".wav", Qt::CaseInsensitive) == 0;
}

void CQRecord::Serialize(CueArchive& ar) {
    uint32_t flags = m_dwFlags.load(std::memory_order_relaxed);
    ar.Exchange(m_strID);
    ar.Exchange(m_strDescription);
    ar.Exchange(m_strPath);
    ar.Exchange(m_nChannel);
    ar.Exchange(m_nVolume);
    ar.Exchange(m_nPan);
    ar.Exchange(flags);
    ar.Exchange(m_dwFadeIn);
    ar.Exchange(m_dwFadeOut);
    ar.Exchange(m_strNotes);
    ar.Exchange(m_byReserved);
    if (ar.IsLoading()) m_dwFlags.store(flags, std::memory_order_relaxed);
}

QByteArray FormatFadeSeconds(uint32_t ms) {
    // The exact decimal expansion of the double (glibc prints it exactly), rounded to tenths
    // by the second decimal alone.
    const double seconds = static_cast<double>(ms) * 0.001;
    char digits[96];
    std::snprintf(digits, sizeof digits, "%.40f", seconds);
    uint64_t whole = 0;
    const char* p = digits;
    while (*p >= '0' && *p <= '9') whole = whole * 10 + static_cast<uint64_t>(*p++ - '0');
    int first = 0;
    int second = 0;
    if (*p == '.') {
        if (p[1] >= '0' && p[1] <= '9') {
            first = p[1] - '0';
            if (p[2] >= '0' && p[2] <= '9') second = p[2] - '0';
        }
    }
    uint64_t tenths = whole * 10 + static_cast<uint64_t>(first) + (second >= 5 ? 1 : 0);
    return QByteArray::number(static_cast<qulonglong>(tenths / 10)) + '.' +
           QByteArray::number(static_cast<int>(tenths % 10));
}

QByteArray CQRecord::GetRowTextBytes(int column) const {
    switch (column) {
        case 1:
            return m_strID;
        case 2:
            return m_strDescription;
        case 3:
            return mvpath::FindFileName(m_strPath);
        case 4: {
            const uint32_t flags = m_dwFlags.load(std::memory_order_relaxed);
            QByteArray text;
            switch (flags & kTypeMask) {
                case kTypeBackground:
                    text += 'B';
                    break;
                case kTypeMultiple:
                    text += 'M';
                    break;
                case kTypeAutomatic:
                    text += 'A';
                    break;
                default:
                    break;
            }
            if (flags & kFlagExclusive) text += 'X';
            if (flags & kFlagLooped) text += 'L';
            return text;
        }
        case 5:
            return QByteArray::number(m_nChannel);
        case 6:
            return m_nVolume == 0 ? QByteArray("Max") : QByteArray::number(m_nVolume) + "dB";
        case 7: {
            const int64_t pan = m_nPan;
            if (pan < 0) return 'L' + QByteArray::number(-pan);
            if (pan > 0) return 'R' + QByteArray::number(pan);
            return QByteArray("Centre");
        }
        case 8:
            return FormatFadeSeconds(m_dwFadeIn);
        case 9:
            return FormatFadeSeconds(m_dwFadeOut);
        case 10:
            return m_strNotes;
        default:
            return QByteArray();
    }
}

QString CQRecord::GetRowText(int column) const { return ToDisplayText(GetRowTextBytes(column)); }

QStringList CQRecord::GetRowTexts() const {
    QStringList texts;
    texts.reserve(kRowTextCount);
    for (int column = 1; column <= kRowTextCount; ++column) texts.append(GetRowText(column));
    return texts;
}
