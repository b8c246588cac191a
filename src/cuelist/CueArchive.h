#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class CQRecord;

// The byte encoding of cue list files and of the cue clipboard payload: little-endian words,
// length-prefixed texts, counts and tagged objects of the class "CQRecord".
//
// A storing archive appends to a byte array; a loading archive reads from a byte view. A
// loading archive stops at the first fault: it remembers the cause, and every later read
// returns zero or an empty text without touching the input. Every count and length is checked
// against the bytes that remain before anything is allocated.
class CueArchive {
public:
    // Archive error causes; the numbers are those of the program's message table.
    enum Cause {
        kNone = 0,
        kGeneric = 1,
        kReadOnly = 2,
        kEndOfFile = 3,
        kWriteOnly = 4,
        kBadIndex = 5,
        kBadClass = 6,
        kBadSchema = 7,
    };

    // A storing archive that appends to *out (which must outlive the archive).
    explicit CueArchive(QByteArray* out);
    // A loading archive over data (which must outlive the archive).
    explicit CueArchive(QByteArrayView data);

    CueArchive(const CueArchive&) = delete;
    CueArchive& operator=(const CueArchive&) = delete;

    bool IsStoring() const { return m_out != nullptr; }
    bool IsLoading() const { return m_out == nullptr; }

    Cause GetCause() const { return m_cause; }
    bool Failed() const { return m_cause != kNone; }
    // Bytes not read yet (loading).
    qsizetype GetRemaining() const { return m_data.size() - m_pos; }
    qsizetype GetPosition() const { return m_pos; }

    // Primitives.
    void WriteByte(uint8_t value);
    void WriteWord(uint16_t value);
    void WriteDword(uint32_t value);
    void WriteText(const QByteArray& text);
    void WriteCount(uint32_t count);
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDword();
    // Reads a text in the single-byte form or the 16-bit form; 16-bit texts come back as UTF-8.
    QByteArray ReadText();
    uint32_t ReadCount();

    // Store or load, by the archive's direction (what CQRecord::Serialize uses).
    void Exchange(QByteArray& text);
    void Exchange(int32_t& value);
    void Exchange(uint32_t& value);
    void Exchange(uint8_t& value);

    // The cue array block: a count and the tagged records, each followed by its body.
    void WriteCueArray(const QList<CQRecord*>& cues);
    // Reads a cue array block. On success *cues holds exactly the records read, in order; on a
    // fault it is left empty and the cause is set. Object references and the null tag are
    // rejected as a bad index, so every record of the result is distinct.
    bool ReadCueArray(std::vector<std::unique_ptr<CQRecord>>* cues);

    // Fails the archive with cause (the first fault wins).
    void Fail(Cause cause);

    // True for the causes that mean the bytes read are not a cue list (cut short or malformed),
    // as against a failure of the archive itself.
    static bool IsFormatFault(Cause cause) {
        return cause == kEndOfFile || cause == kBadIndex || cause == kBadClass ||
               cause == kBadSchema;
    }

    // The message of an archive cause, with %1 replaced by fileName.
    static QString CauseMessage(Cause cause, const QString& fileName);

    // A cue array block by itself, as the clipboard carries it.
    static QByteArray EncodeCueArray(const QList<CQRecord*>& cues);
    static Cause DecodeCueArray(QByteArrayView data, std::vector<std::unique_ptr<CQRecord>>* cues);

private:
    bool Need(qsizetype bytes);
    uint32_t ReadLength();

    QByteArray* m_out = nullptr;
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    Cause m_cause = kNone;
};
