#include <gtest/gtest.h>

#include <QList>
#include <memory>
#include <vector>

#include "TestCues.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"

using testcues::Hex;
using Cues = std::vector<std::unique_ptr<CQRecord>>;

namespace {

QByteArray EncodeFile(const QList<CQRecord*>& cues, uint32_t lastCueNumber) {
    QByteArray bytes;
    CueArchive ar(&bytes);
    ar.WriteCueArray(cues);
    ar.WriteDword(lastCueNumber);
    return bytes;
}

// Reads a whole cue list file image; returns the cause.
CueArchive::Cause DecodeFile(const QByteArray& bytes, Cues* cues, uint32_t* lastCueNumber) {
    CueArchive ar{QByteArrayView(bytes)};
    ar.ReadCueArray(cues);
    const uint32_t last = ar.ReadDword();
    if (lastCueNumber) *lastCueNumber = last;
    return ar.GetCause();
}

QByteArray TextPrefix(qsizetype length) {
    QByteArray bytes;
    CueArchive ar(&bytes);
    ar.WriteText(QByteArray(length, 'x'));
    return bytes.left(bytes.size() - length);
}

// One cue body with the given texts, all numbers 0.
QByteArray Body(const QByteArray& id = QByteArray()) {
    QByteArray bytes;
    CueArchive ar(&bytes);
    CQRecord cue;
    cue.m_strID = id;
    cue.Serialize(ar);
    return bytes;
}

const QByteArray kClassHeader = Hex("ffff01000800") + "CQRecord";

}  // namespace

TEST(CueArchiveWriter, OneCueExampleComesOutByteForByte) {
    auto bell = testcues::BellCue();
    const QByteArray bytes = EncodeFile({bell.get()}, 10);
    EXPECT_EQ(bytes.size(), 75);
    EXPECT_EQ(bytes.toHex(), testcues::ReadGolden("one_cue.mvl").toHex());
}

TEST(CueArchiveWriter, SecondCueFollowsWithClassIndexTag) {
    auto bell = testcues::BellCue();
    auto rain = testcues::RainCue();
    const QByteArray bytes = EncodeFile({bell.get(), rain.get()}, 20);
    EXPECT_EQ(bytes.toHex(), testcues::ReadGolden("two_cues.mvl").toHex());
    // The body of the second cue exactly as the example gives it.
    const QByteArray second =
        Hex("0180"
            "0451303230"
            "045261696e"
            "12443a5c536f756e64735c5261696e2e776176"
            "01000000"
            "faffffff"
            "ecffffff"
            "01000020"
            "dc050000"
            "88130000"
            "00"
            "00"
            "14000000");
    EXPECT_TRUE(bytes.endsWith(second));
}

TEST(CueArchiveWriter, EmptyListIsSixZeroBytes) {
    EXPECT_EQ(EncodeFile({}, 0), Hex("000000000000"));
}

TEST(CueArchiveWriter, TextPrefixesSwitchFormAtTheirLimits) {
    EXPECT_EQ(TextPrefix(0), Hex("00"));
    EXPECT_EQ(TextPrefix(254), Hex("fe"));
    EXPECT_EQ(TextPrefix(255), Hex("ffff00"));
    EXPECT_EQ(TextPrefix(300), Hex("ff2c01"));
    EXPECT_EQ(TextPrefix(65533), Hex("fffdff"));
    EXPECT_EQ(TextPrefix(65534), Hex("ffffff"
                                     "feff0000"));
    EXPECT_EQ(TextPrefix(70000), Hex("ffffff"
                                     "70110100"));
}

TEST(CueArchiveWriter, CountsAndTagsOfLongLists) {
    std::vector<std::unique_ptr<CQRecord>> owned;
    QList<CQRecord*> cues;
    for (int i = 0; i < 65535; ++i) {
        owned.push_back(std::make_unique<CQRecord>());
        cues.append(owned.back().get());
    }
    const QByteArray full = EncodeFile(cues, 0);
    EXPECT_TRUE(full.startsWith(Hex("ffffffff0000"))) << full.left(6).toHex().constData();
    // Every cue after the first starts 01 80.
    const qsizetype first = 6 + kClassHeader.size() + Body().size();
    const qsizetype stride = 2 + Body().size();
    for (qsizetype at = first; at < full.size() - 4; at += stride) {
        ASSERT_EQ(full.mid(at, 2), Hex("0180")) << "at " << at;
    }
    EXPECT_EQ(full.size(), first + 65534 * stride + 4);

    cues.removeLast();
    EXPECT_TRUE(EncodeFile(cues, 0).startsWith(Hex("feff")));
}

TEST(CueArchiveWriter, SignedFieldsAreTwosComplement) {
    CQRecord cue;
    cue.m_nVolume = -100;
    cue.m_nPan = 100;
    QByteArray bytes;
    CueArchive ar(&bytes);
    cue.Serialize(ar);
    // Three empty texts, then channel, volume, pan.
    EXPECT_EQ(bytes.mid(3, 12), Hex("00000000"
                                    "9cffffff"
                                    "64000000"));
}

TEST(CueArchiveReader, ReadsTheExamplesBack) {
    Cues cues;
    uint32_t last = 0;
    ASSERT_EQ(DecodeFile(testcues::ReadGolden("two_cues.mvl"), &cues, &last), CueArchive::kNone);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(last, 20u);
    EXPECT_TRUE(testcues::SameStoredFields(*cues[0], *testcues::BellCue()));
    EXPECT_TRUE(testcues::SameStoredFields(*cues[1], *testcues::RainCue()));
    EXPECT_EQ(cues[0]->m_nPlayCount.load(), 0);

    ASSERT_EQ(DecodeFile(Hex("000000000000"), &cues, &last), CueArchive::kNone);
    EXPECT_TRUE(cues.empty());
}

TEST(CueArchiveReader, RoundTripKeepsEveryByte) {
    // Varied texts (long, Windows-1252, UTF-8), flags, negative numbers and a reserved byte 7.
    const QByteArray golden = testcues::ReadGolden("varied_cues.mvl");
    Cues cues;
    uint32_t last = 0;
    ASSERT_EQ(DecodeFile(golden, &cues, &last), CueArchive::kNone);
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0]->m_byReserved, 7);
    EXPECT_EQ(cues[1]->m_strNotes.size(), 300);
    QList<CQRecord*> list;
    for (auto& cue : cues) list.append(cue.get());
    EXPECT_EQ(EncodeFile(list, last).toHex(), golden.toHex());
}

TEST(CueArchiveReader, ExtraBytesAfterTheFileAreIgnored) {
    Cues cues;
    EXPECT_EQ(DecodeFile(testcues::ReadGolden("one_cue.mvl") + "trailing", &cues, nullptr),
              CueArchive::kNone);
    EXPECT_EQ(cues.size(), 1u);
}

TEST(CueArchiveReader, EveryCutBeforeTheEndFailsWithEndOfFile) {
    for (const char* name : {"one_cue.mvl", "two_cues.mvl", "varied_cues.mvl"}) {
        const QByteArray golden = testcues::ReadGolden(name);
        ASSERT_FALSE(golden.isEmpty()) << name;
        for (qsizetype size = 0; size < golden.size(); ++size) {
            Cues cues;
            ASSERT_EQ(DecodeFile(golden.left(size), &cues, nullptr), CueArchive::kEndOfFile)
                << name << " cut at " << size;
            // A cut inside the array block yields no records at all.
            if (size < golden.size() - 4) {
                EXPECT_TRUE(cues.empty());
            }
        }
    }
}

TEST(CueArchiveReader, ClassHeaderFaults) {
    struct Case {
        QByteArray header;
        CueArchive::Cause cause;
    };
    const Case cases[] = {
        {Hex("ffff01000800") + "CQRecorD", CueArchive::kBadClass},
        {Hex("ffff01000800") + "CXRecord", CueArchive::kBadClass},
        {Hex("ffff01000700") + "CQRecor", CueArchive::kBadClass},
        {Hex("ffff01004000") + QByteArray(64, 'C'), CueArchive::kBadClass},
        {Hex("ffff02000800") + "CQRecord", CueArchive::kBadSchema},
        {Hex("ffff00000800") + "CQRecord", CueArchive::kBadSchema},
        {Hex("ffff01003f00") + "CQRec", CueArchive::kEndOfFile},  // name of 63 cut short
    };
    for (const Case& c : cases) {
        Cues cues;
        const QByteArray file = Hex("0100") + c.header + Body() + Hex("00000000");
        EXPECT_EQ(DecodeFile(file, &cues, nullptr), c.cause) << c.header.toHex().constData();
        EXPECT_TRUE(cues.empty());
    }
}

TEST(CueArchiveReader, BadTagsAreRejectedAsBadIndex) {
    // Entries that follow a valid first cue (object index 2, class index 1).
    const QByteArray first = Hex("0200") + kClassHeader + Body("A");
    const QByteArray bad[] = {
        Hex("0080"),  // class index 0
        Hex("0280"),  // index 2 is an object, not a class
        Hex("0380"),  // above the highest index so far
        Hex("0200"),  // a reference to the first cue: it would repeat
        Hex("0100"),  // a reference to the class
        Hex("0000"),  // no object: it would leave a hole
        Hex("ff7f"
            "02000000"),  // a reference in the long form
        Hex("ff7f"
            "00000080"),  // class index 0 in the long form
        Hex("ff7f"
            "ffffffff"),  // far above the highest index
    };
    for (const QByteArray& tag : bad) {
        Cues cues;
        EXPECT_EQ(DecodeFile(first + tag + Body("B") + Hex("00000000"), &cues, nullptr),
                  CueArchive::kBadIndex)
            << tag.toHex().constData();
        EXPECT_TRUE(cues.empty());
    }
    // The long form of class index 1 is a valid new object.
    Cues cues;
    EXPECT_EQ(DecodeFile(first + Hex("ff7f01000080") + Body("B") + Hex("00000000"), &cues, nullptr),
              CueArchive::kNone);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(cues[1]->m_strID, "B");
    // A first entry that is not a class header has no class to name.
    EXPECT_EQ(DecodeFile(Hex("0100"
                             "0180") +
                             Body() + Hex("00000000"),
                         &cues, nullptr),
              CueArchive::kBadIndex);
}

TEST(CueArchiveReader, SecondClassHeaderTakesTheNextIndex) {
    // Cue 1 (class 1, object 2), class header again (class 3, object 4), then a cue of class 3.
    const QByteArray file = Hex("0300") + kClassHeader + Body("A") + kClassHeader + Body("B") +
                            Hex("0380") + Body("C") + Hex("00000000");
    Cues cues;
    ASSERT_EQ(DecodeFile(file, &cues, nullptr), CueArchive::kNone);
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[2]->m_strID, "C");
}

TEST(CueArchiveReader, SixteenBitTextsAreConvertedToUtf8) {
    // "Cafe" with a byte length prefix; "Caf" + U+0103 with the word length form.
    const QByteArray wide =
        Hex("fffeff"
            "04"
            "4300610066006500");
    const QByteArray wideLong =
        Hex("fffeff"
            "ff0400"
            "4300610066000301");
    const QByteArray file = Hex("0100") + kClassHeader + wide + wideLong + Hex("00") +
                            QByteArray(24, '\0') +
                            Hex("00"
                                "00") +
                            Hex("00000000");
    Cues cues;
    ASSERT_EQ(DecodeFile(file, &cues, nullptr), CueArchive::kNone);
    ASSERT_EQ(cues.size(), 1u);
    EXPECT_EQ(cues[0]->m_strID, "Cafe");
    EXPECT_EQ(cues[0]->m_strDescription, Hex("436166c483"));
    // Written back in the single-byte form.
    QList<CQRecord*> list{cues[0].get()};
    EXPECT_TRUE(
        EncodeFile(list, 0).contains(Hex("0443616665"
                                         "05436166c483")));
}

TEST(CueArchiveReader, HostileCountsAndLengthsFailAtOnce) {
    Cues cues;
    // A 10-byte file claiming 4 billion cues.
    EXPECT_EQ(DecodeFile(Hex("ffff"
                             "feffffff"
                             "ffff0100"),
                         &cues, nullptr),
              CueArchive::kEndOfFile);
    // A text claiming 4 GiB, in the byte and in the 16-bit form.
    const QByteArray start = Hex("0100") + kClassHeader;
    EXPECT_EQ(DecodeFile(start + Hex("ffffffffffffff") + "abc", &cues, nullptr),
              CueArchive::kEndOfFile);
    EXPECT_EQ(DecodeFile(start + Hex("fffeffffffffffffff7f") + "abc", &cues, nullptr),
              CueArchive::kEndOfFile);
    // 16-bit text whose byte count (2 x chars) passes the remaining size.
    EXPECT_EQ(DecodeFile(start + Hex("fffeff03") + "abcd", &cues, nullptr), CueArchive::kEndOfFile);
    EXPECT_TRUE(cues.empty());
}

TEST(CueArchiveReader, ReadsNothingAfterTheFirstFault) {
    CueArchive ar{QByteArrayView(Hex("01"))};
    EXPECT_EQ(ar.ReadWord(), 0);
    EXPECT_EQ(ar.GetCause(), CueArchive::kEndOfFile);
    EXPECT_EQ(ar.ReadByte(), 0);  // a byte remains, but the archive has failed
    EXPECT_EQ(ar.GetRemaining(), 1);

    QByteArray out;
    CueArchive writer(&out);
    writer.ReadByte();
    EXPECT_EQ(writer.GetCause(), CueArchive::kWriteOnly);
}

TEST(CueArchiveMessages, CausesHaveTheirTexts) {
    const QString f = QStringLiteral("show.MVL");
    EXPECT_EQ(CueArchive::CauseMessage(CueArchive::kEndOfFile, f),
              "An attempt was made to access show.MVL past its end.");
    EXPECT_EQ(CueArchive::CauseMessage(CueArchive::kBadIndex, f), "show.MVL has a bad format.");
    EXPECT_EQ(CueArchive::CauseMessage(CueArchive::kBadClass, f),
              "show.MVL contained an unexpected object.");
    EXPECT_EQ(CueArchive::CauseMessage(CueArchive::kBadSchema, f),
              "show.MVL contains an incorrect schema.");
    EXPECT_EQ(CueArchive::CauseMessage(CueArchive::kGeneric, f),
              "An unknown error occurred while accessing show.MVL.");
}

TEST(CueArchiveClipboard, ArrayBlockAloneRoundTrips) {
    auto bell = testcues::BellCue();
    auto rain = testcues::RainCue();
    const QByteArray block = CueArchive::EncodeCueArray({bell.get(), rain.get()});
    EXPECT_EQ(block, testcues::ReadGolden("two_cues.mvl").chopped(4));
    Cues cues;
    ASSERT_EQ(CueArchive::DecodeCueArray(block, &cues), CueArchive::kNone);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_NE(cues[0].get(), cues[1].get());
    EXPECT_TRUE(testcues::SameStoredFields(*cues[1], *rain));
    EXPECT_EQ(CueArchive::DecodeCueArray(block.chopped(1), &cues), CueArchive::kEndOfFile);
    EXPECT_TRUE(cues.empty());
}
