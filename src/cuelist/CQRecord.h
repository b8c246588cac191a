#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>

class CaseInsensitiveLookup;
class CueArchive;

// One cue of a cue list: which sound file to play, how, and the operator's texts.
// The document owns its records; list rows, players and clipboard transfers hold plain
// pointers. Records are touched on the UI thread only, except m_nPlayCount and m_dwFlags,
// which player workers read and update while the cue plays.
class CQRecord {
public:
    // Cue types in bits 0-7 of m_dwFlags.
    static constexpr uint32_t kTypeNormal = 0;
    static constexpr uint32_t kTypeBackground = 1;
    static constexpr uint32_t kTypeMultiple = 2;
    static constexpr uint32_t kTypeAutomatic = 3;
    static constexpr uint32_t kTypeMask = 0xFF;
    static constexpr uint32_t kFlagExclusive = 0x10000000;
    static constexpr uint32_t kFlagLooped = 0x20000000;

    static constexpr uint32_t kDefaultFadeOutMs = 5000;

    // The ranges the Cue Settings dialog accepts: volume in dB, pan, fade times in seconds.
    static constexpr int32_t kMinVolume = -100;
    static constexpr int32_t kMaxVolume = 0;
    static constexpr int32_t kMinPan = -100;
    static constexpr int32_t kMaxPan = 100;
    static constexpr double kMaxFadeSeconds = 60.0;

    // Columns 1..10 of a cue's row: ID, Description, Filename, Flags, Chn, Volume, Pan, In,
    // Out, Notes. Column 0 (the playing mark) has no text.
    static constexpr int kRowTextCount = 10;

    CQRecord();
    ~CQRecord();
    CQRecord(const CQRecord&) = delete;
    CQRecord& operator=(const CQRecord&) = delete;

    void SetID(const QByteArray& id);

    // Sets the sound file. When the description still is the old file's base name (byte for
    // byte), the cue takes the new file's base name as its description.
    void SetFilePath(const QByteArray& path);

    // When m_strPath names no existing file, points it at the file of the same name in folder
    // (a file whose name differs only in letter case is accepted too). A lookup shared by the
    // cues of one list reads each folder once.
    void ResolvePath(const QByteArray& folder, CaseInsensitiveLookup* lookup = nullptr);

    // True when the extension of the path's file-name part is ".wav" in any letter case.
    bool IsWaveFile() const;

    // Runs the Cue Settings dialog on this record; true only when it was closed with OK.
    // (Defined with the dialog in the shell library.)
    bool EditSettings();

    // Stores or loads the stored fields in the file's order. Loading overwrites every stored
    // field and leaves the play count alone.
    void Serialize(CueArchive& ar);

    // The texts of the cue's row, as bytes: column is 1..10; anything else gives an empty text.
    QByteArray GetRowTextBytes(int column) const;
    // The same, decoded for display.
    QString GetRowText(int column) const;
    // All ten texts (columns 1..10) decoded for display.
    QStringList GetRowTexts() const;

    // The type bits (0-7) of the flags.
    uint32_t GetCueType() const { return m_dwFlags.load(std::memory_order_relaxed) & kTypeMask; }
    bool IsExclusive() const {
        return (m_dwFlags.load(std::memory_order_relaxed) & kFlagExclusive) != 0;
    }
    bool IsLooped() const { return (m_dwFlags.load(std::memory_order_relaxed) & kFlagLooped) != 0; }

    QByteArray m_strID;
    QByteArray m_strDescription;
    QByteArray m_strPath;
    // Written on the UI thread (edit, load); read by player workers (the Looped bit).
    std::atomic<uint32_t> m_dwFlags{0};
    int32_t m_nChannel = 0;
    int32_t m_nVolume = 0;                     // dB, 0 = full level
    int32_t m_nPan = 0;                        // -100 (left) .. 100 (right)
    uint32_t m_dwFadeIn = 0;                   // ms
    uint32_t m_dwFadeOut = kDefaultFadeOutMs;  // ms
    QByteArray m_strNotes;
    uint8_t m_byReserved = 0;
    // Players currently playing this cue: incremented and decremented by player workers,
    // read by the UI thread to draw the playing mark.
    std::atomic<int> m_nPlayCount{0};
};

// Formats a time in milliseconds as the list shows it: seconds with one decimal, a 5 in the
// second decimal of the double's exact expansion rounding up (1250 gives "1.3", 150 "0.1").
QByteArray FormatFadeSeconds(uint32_t ms);
