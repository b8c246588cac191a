// Runs the remote-control fuzz target over a corpus made here: valid OSC messages and bundles,
// each cut short, bit-flipped and padded in many ways, and random bytes. A short stand-in for
// fuzz/build.sh remote, so every CI run exercises the parsers with hostile input.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "remote/OscMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<QByteArray> Seeds() {
    std::vector<QByteArray> seeds;
    for (const char* address : {"/go", "/stop", "/cue/Q010/start", "/live/volumeUp", "/connect",
                                "/updates", "/select/Q010", "/reply/go", "/cue//stop"}) {
        seeds.push_back(osc::EncodeMessage(address, {}));
        seeds.push_back(osc::EncodeMessage(address, {OscArg::Int(1)}));
        seeds.push_back(osc::EncodeMessage(address, {OscArg::Text("secret")}));
    }
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    const QByteArray inner = osc::EncodeMessage("/go", {});
    const quint32 n = static_cast<quint32>(inner.size());
    bundle.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    bundle.append(inner);
    seeds.push_back(bundle);
    // MIDI: Note On, Program Change, MSC GO with a cue number, SysEx without its end.
    seeds.push_back(QByteArray("\x90\x3c\x64", 3));
    seeds.push_back(QByteArray("\xc0\x05", 2));
    seeds.push_back(
        QByteArray("\xf0\x7f\x7f\x02\x10\x01"
                   "10.5\0"
                   "1\xf7",
                   13));
    seeds.push_back(QByteArray("\xf0\x7f\x01\x02\x7f\x02", 6));
    return seeds;
}

TEST(RemoteFuzzCorpus, HostileVariationsOfEveryInputAreSurvived) {
    std::mt19937 rng(20261207);
    int runs = 0;
    for (const QByteArray& seed : Seeds()) {
        for (int k = 0; k < 600; ++k) {
            QByteArray input = seed;
            switch (k % 4) {
                case 0:  // cut short
                    input.truncate(static_cast<qsizetype>(rng() % (seed.size() + 1)));
                    break;
                case 1:  // bits flipped
                    for (int f = 0; f < 3 && !input.isEmpty(); ++f)
                        input[rng() % input.size()] ^= char(1 << (rng() % 8));
                    break;
                case 2:  // bytes appended
                    for (unsigned a = rng() % 64; a > 0; --a) input.append(char(rng()));
                    break;
                default:  // random bytes of the same size
                    for (char& c : input) c = char(rng());
                    break;
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()),
                                   static_cast<size_t>(input.size()));
            ++runs;
        }
    }
    EXPECT_GT(runs, 10000);
}

}  // namespace
