#include "cuelist/CueArchive.h"

#include <algorithm>

#include "cuelist/CQRecord.h"
#include "cuelist/FileError.h"

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
constexpr uint16_t kUnicodeMarker = 0xFFFE;
constexpr uint16_t kRecordSchema = 1;
constexpr char kRecordClassName[] = "CQRecord";
constexpr qsizetype kMaxClassNameLength = 63;
// The smallest cue entry: a class tag and a body with four empty texts.
constexpr qsizetype kMinEntryBytes = 2 + 25 + 4;

}  // namespace

CueArchive::CueArchive(QByteArray* out) : m_out(out) {}

CueArchive::CueArchive(QByteArrayView data) : m_data(data) {}

void CueArchive::Fail(Cause cause) {
    if (m_cause == kNone) m_cause = cause;
}

bool CueArchive::Need(qsizetype bytes) {
    if (m_cause != kNone) return false;
    if (IsStoring()) {
        Fail(kWriteOnly);
        return false;
    }
    if (bytes > GetRemaining()) {
        Fail(kEndOfFile);
        return false;
    }
    return true;
}

void CueArchive::WriteByte(uint8_t value) {
    if (!IsStoring()) {
        Fail(kReadOnly);
        return;
    }
    m_out->append(static_cast<char>(value));
}

void CueArchive::WriteWord(uint16_t value) {
    if (!IsStoring()) {
        Fail(kReadOnly);
        return;
    }
    const char bytes[2] = {static_cast<char>(value), static_cast<char>(value >> 8)};
    m_out->append(bytes, 2);
}

void CueArchive::WriteDword(uint32_t value) {
    if (!IsStoring()) {
        Fail(kReadOnly);
        return;
    }
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    m_out->append(bytes, 4);
}

void CueArchive::WriteText(const QByteArray& text) {
    const qsizetype n = text.size();
    if (n < 0xFF) {
        WriteByte(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteByte(0xFF);
        WriteWord(static_cast<uint16_t>(n));
    } else {
        WriteByte(0xFF);
        WriteWord(0xFFFF);
        WriteDword(static_cast<uint32_t>(std::min<qsizetype>(n, 0xFFFFFFFF)));
    }
    if (!IsStoring()) return;
    m_out->append(text.constData(), std::min<qsizetype>(n, 0xFFFFFFFF));
}

void CueArchive::WriteCount(uint32_t count) {
    if (count < 0xFFFF) {
        WriteWord(static_cast<uint16_t>(count));
    } else {
        WriteWord(0xFFFF);
        WriteDword(count);
    }
}

uint8_t CueArchive::ReadByte() {
    if (!Need(1)) return 0;
    return static_cast<uint8_t>(m_data[m_pos++]);
}

uint16_t CueArchive::ReadWord() {
    if (!Need(2)) return 0;
    const auto lo = static_cast<uint8_t>(m_data[m_pos]);
    const auto hi = static_cast<uint8_t>(m_data[m_pos + 1]);
    m_pos += 2;
    return static_cast<uint16_t>(lo | (hi << 8));
}

uint32_t CueArchive::ReadDword() {
    if (!Need(4)) return 0;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(m_data[m_pos + i]);
    m_pos += 4;
    return value;
}

// The length that follows a 16-bit text marker.
uint32_t CueArchive::ReadLength() {
    const uint8_t b = ReadByte();
    if (b < 0xFF) return b;
    const uint16_t w = ReadWord();
    if (w < 0xFFFF) return w;
    return ReadDword();
}

QByteArray CueArchive::ReadText() {
    const uint8_t b = ReadByte();
    if (Failed()) return QByteArray();
    uint32_t length = b;
    bool wide = false;
    if (b == 0xFF) {
        const uint16_t w = ReadWord();
        if (w == kUnicodeMarker) {
            wide = true;
            length = ReadLength();
        } else if (w == 0xFFFF) {
            length = ReadDword();
        } else {
            length = w;
        }
    }
    if (Failed()) return QByteArray();
    const qsizetype bytes = static_cast<qsizetype>(length) * (wide ? 2 : 1);
    if (!Need(bytes)) return QByteArray();
    const char* start = m_data.data() + m_pos;
    m_pos += bytes;
    if (!wide) return QByteArray(start, bytes);
    QString text(static_cast<qsizetype>(length), Qt::Uninitialized);
    QChar* out = text.data();
    for (uint32_t i = 0; i < length; ++i) {
        const auto lo = static_cast<uint8_t>(start[2 * i]);
        const auto hi = static_cast<uint8_t>(start[2 * i + 1]);
        out[i] = QChar(static_cast<char16_t>(lo | (hi << 8)));
    }
    // Unpaired surrogates become U+FFFD.
    return text.toUtf8();
}

uint32_t CueArchive::ReadCount() {
    const uint16_t n = ReadWord();
    if (n != 0xFFFF) return n;
    return ReadDword();
}

void CueArchive::Exchange(QByteArray& text) {
    if (IsStoring()) {
        WriteText(text);
    } else {
        QByteArray value = ReadText();
        if (!Failed()) text = std::move(value);
    }
}

void CueArchive::Exchange(int32_t& value) {
    if (IsStoring()) {
        WriteDword(static_cast<uint32_t>(value));
    } else {
        const uint32_t read = ReadDword();
        if (!Failed()) value = static_cast<int32_t>(read);
    }
}

void CueArchive::Exchange(uint32_t& value) {
    if (IsStoring()) {
        WriteDword(value);
    } else {
        const uint32_t read = ReadDword();
        if (!Failed()) value = read;
    }
}

void CueArchive::Exchange(uint8_t& value) {
    if (IsStoring()) {
        WriteByte(value);
    } else {
        const uint8_t read = ReadByte();
        if (!Failed()) value = read;
    }
}

void CueArchive::WriteCueArray(const QList<CQRecord*>& cues) {
    if (!IsStoring()) {
        Fail(kReadOnly);
        return;
    }
    // Reserve room for the whole block: one reallocation instead of many on long lists.
    qsizetype estimate = m_out->size() + 6 + 14;
    for (const CQRecord* cue : cues) {
        estimate += kMinEntryBytes + 12 + cue->m_strID.size() + cue->m_strDescription.size() +
                    cue->m_strPath.size() + cue->m_strNotes.size();
    }
    m_out->reserve(estimate + 4);
    WriteCount(static_cast<uint32_t>(cues.size()));
    bool classWritten = false;
    for (CQRecord* cue : cues) {
        if (!classWritten) {
            WriteWord(kNewClassTag);
            WriteWord(kRecordSchema);
            WriteWord(sizeof kRecordClassName - 1);
            m_out->append(kRecordClassName, sizeof kRecordClassName - 1);
            classWritten = true;
        } else {
            WriteWord(kClassTag | 1);  // class index 1: the record class
        }
        cue->Serialize(*this);
    }
}

bool CueArchive::ReadCueArray(std::vector<std::unique_ptr<CQRecord>>* cues) {
    cues->clear();
    const uint32_t count = ReadCount();
    if (Failed()) return false;
    std::vector<std::unique_ptr<CQRecord>> read;
    // Reserve no more than the bytes that remain can hold.
    read.reserve(static_cast<size_t>(
        std::min<qsizetype>(static_cast<qsizetype>(count), GetRemaining() / kMinEntryBytes)));
    // isClass[i] tells whether index i names a class; index 0 stands for no object.
    std::vector<bool> isClass{false};
    for (uint32_t entry = 0; entry < count; ++entry) {
        const uint16_t tag = ReadWord();
        if (Failed()) return false;
        if (tag == kNewClassTag) {
            const uint16_t schema = ReadWord();
            const uint16_t nameLength = ReadWord();
            if (Failed()) return false;
            if (nameLength > kMaxClassNameLength) {
                Fail(kBadClass);
                return false;
            }
            if (!Need(nameLength)) return false;
            const QByteArrayView name = m_data.sliced(m_pos, nameLength);
            m_pos += nameLength;
            if (name != QByteArrayView(kRecordClassName)) {
                Fail(kBadClass);
                return false;
            }
            if (schema != kRecordSchema) {
                Fail(kBadSchema);
                return false;
            }
            isClass.push_back(true);
        } else {
            uint32_t value = 0;
            if (tag == kBigObjectTag) {
                value = ReadDword();
                if (Failed()) return false;
            } else {
                value = (tag & 0x7FFFu) | (static_cast<uint32_t>(tag & 0x8000u) << 16);
            }
            if ((value & kBigClassTag) == 0) {
                // An object reference or no object: a cue array holds distinct records only.
                Fail(kBadIndex);
                return false;
            }
            const uint32_t classIndex = value & ~kBigClassTag;
            if (classIndex == 0 || classIndex >= isClass.size() || !isClass[classIndex]) {
                Fail(kBadIndex);
                return false;
            }
        }
        auto cue = std::make_unique<CQRecord>();
        isClass.push_back(false);  // the new object's index
        cue->Serialize(*this);
        if (Failed()) return false;
        read.push_back(std::move(cue));
    }
    *cues = std::move(read);
    return true;
}

QString CueArchive::CauseMessage(Cause cause, const QString& fileName) {
    // The causes an archive shares with file access read as the file error texts.
    const char* text = nullptr;
    switch (cause) {
        case kNone:
            return FileError::Message(FileError::kNone, fileName);
        case kEndOfFile:
            return FileError::Message(FileError::kEndOfFile, fileName);
        case kGeneric:
            break;
        case kReadOnly:
            text = "An attempt was made to write to the reading %1.";
            break;
        case kWriteOnly:
            text = "An attempt was made to read from the writing %1.";
            break;
        case kBadIndex:
            text = "%1 has a bad format.";
            break;
        case kBadClass:
            text = "%1 contained an unexpected object.";
            break;
        case kBadSchema:
            text = "%1 contains an incorrect schema.";
            break;
    }
    if (!text) return FileError::Message(FileError::kGeneric, fileName);
    return QString::fromLatin1(text).replace(QLatin1String("%1"), fileName);
}

QByteArray CueArchive::EncodeCueArray(const QList<CQRecord*>& cues) {
    QByteArray bytes;
    CueArchive ar(&bytes);
    ar.WriteCueArray(cues);
    return bytes;
}

CueArchive::Cause CueArchive::DecodeCueArray(QByteArrayView data,
                                             std::vector<std::unique_ptr<CQRecord>>* cues) {
    CueArchive ar(data);
    ar.ReadCueArray(cues);
    return ar.GetCause();
}
