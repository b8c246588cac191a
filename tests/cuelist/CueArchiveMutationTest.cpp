#include <gtest/gtest.h>

#include <QList>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "TestCues.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"

// Damaged and hostile cue list files, made by mutating the golden files at random with a fixed
// seed: the reader must fail cleanly with one of its causes or read records that write back
// to a file that reads the same again.

namespace {

using Cues = std::vector<std::unique_ptr<CQRecord>>;

QList<QByteArray> Seeds() {
    QList<QByteArray> seeds;
    for (const char* name : {"one_cue.mvl", "two_cues.mvl", "varied_cues.mvl", "empty_list.mvl"}) {
        seeds.append(testcues::ReadGolden(name));
    }
    // A cue with 16-bit texts, and one with a long-form class tag.
    seeds.append(QByteArray::fromHex("0100ffff01000800") + "CQRecord" +
                 QByteArray::fromHex("fffeff024100420000") + QByteArray(24, '\0') +
                 QByteArray::fromHex("0000000000000a000000"));
    seeds.append(QByteArray::fromHex("0200ffff01000800") + "CQRecord" + QByteArray(29, '\0') +
                 QByteArray::fromHex("ff7f01000080") + QByteArray(29, '\0') +
                 QByteArray::fromHex("14000000"));
    return seeds;
}

QByteArray Mutate(const QByteArray& seed, const QList<QByteArray>& seeds, std::mt19937& rng) {
    QByteArray data = seed;
    static const char kInteresting[] = {0, 1, 0x7F, char(0x80), char(0xFE), char(0xFF), 8, 63};
    const int steps = 1 + static_cast<int>(rng() % 4);
    for (int s = 0; s < steps; ++s) {
        const qsizetype size = data.size();
        const qsizetype at = size > 0 ? static_cast<qsizetype>(rng() % size) : 0;
        switch (rng() % 8) {
            case 0:  // flip a bit
                if (size > 0) data[at] = static_cast<char>(data[at] ^ (1 << (rng() % 8)));
                break;
            case 1:  // an interesting byte
                if (size > 0) data[at] = kInteresting[rng() % sizeof kInteresting];
                break;
            case 2:  // a random byte
                if (size > 0) data[at] = static_cast<char>(rng());
                break;
            case 3:  // cut the file
                data.truncate(at);
                break;
            case 4:  // insert random bytes
                for (int k = static_cast<int>(rng() % 8); k > 0; --k) {
                    data.insert(at, static_cast<char>(rng()));
                }
                break;
            case 5:  // remove a few bytes
                data.remove(at, static_cast<qsizetype>(rng() % 8));
                break;
            case 6: {  // splice in a piece of another seed
                const QByteArray& other = seeds[static_cast<qsizetype>(rng() % seeds.size())];
                if (other.isEmpty()) break;
                const qsizetype from = static_cast<qsizetype>(rng() % other.size());
                data.insert(at, other.mid(from, static_cast<qsizetype>(rng() % 48)));
                break;
            }
            default:  // a large count or length word
                if (size >= 2) {
                    const qsizetype pos = at > size - 2 ? size - 2 : at;
                    data[pos] = char(0xFF);
                    data[pos + 1] = static_cast<char>(rng() % 2 ? 0xFF : 0xFE);
                }
                break;
        }
    }
    return data;
}

}  // namespace

TEST(CueArchiveMutation, DamagedFilesFailCleanlyOrReadBackTheSame) {
    long runs = 100000;
    if (const char* env = std::getenv("MARVANE_MUTATION_RUNS")) runs = std::atol(env);
    const QList<QByteArray> seeds = Seeds();
    for (const QByteArray& seed : seeds) ASSERT_FALSE(seed.isEmpty());
    std::mt19937 rng(20261207);
    long accepted = 0;
    for (long i = 0; i < runs; ++i) {
        const QByteArray input =
            Mutate(seeds[static_cast<qsizetype>(rng() % seeds.size())], seeds, rng);
        Cues cues;
        CueArchive ar{QByteArrayView(input)};
        ar.ReadCueArray(&cues);
        const uint32_t last = ar.ReadDword();
        ASSERT_LE(ar.GetPosition(), input.size());
        if (ar.Failed()) {
            const CueArchive::Cause cause = ar.GetCause();
            ASSERT_TRUE(cause == CueArchive::kEndOfFile || cause == CueArchive::kBadIndex ||
                        cause == CueArchive::kBadClass || cause == CueArchive::kBadSchema)
                << "input " << i << ": cause " << cause << " for " << input.toHex().constData();
            continue;
        }
        ++accepted;
        QList<CQRecord*> list;
        for (auto& cue : cues) list.append(cue.get());
        QByteArray written;
        CueArchive writer(&written);
        writer.WriteCueArray(list);
        writer.WriteDword(last);
        Cues again;
        CueArchive reader{QByteArrayView(written)};
        ASSERT_TRUE(reader.ReadCueArray(&again)) << "input " << i;
        ASSERT_EQ(again.size(), cues.size());
        for (size_t k = 0; k < cues.size(); ++k) {
            ASSERT_TRUE(testcues::SameStoredFields(*cues[k], *again[k])) << "input " << i;
        }
    }
    std::printf("mutation inputs run: %ld, read successfully: %ld\n", runs, accepted);
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, runs);
}
