#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "cli/CliProcess.h"
#include "platform/media/TestWav.h"

// marvane-cli channels and render, run as a sound designer's script runs them.

namespace {

using clitest::Result;

Result RunCli(const QStringList& args, const QString& audio = QStringLiteral("virtual:2")) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MARVANE_AUDIO"), audio);
    return clitest::Run(clitest::kCli, args, 60000, env);
}

// The left samples of a 16-bit stereo WAV file written by render.
std::vector<int16_t> LeftSamples(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    std::vector<int16_t> left;
    for (qsizetype i = 44; i + 3 < bytes.size(); i += 4) {
        left.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                            (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
    return left;
}

class CliEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(testwav::WriteFile(Path("ramp.wav"), testwav::Ramp16(20000, 2, 44100)));
        testwav::Format mono;
        mono.channels = 1;
        ASSERT_TRUE(testwav::WriteFile(
            Path("hum.wav"),
            testwav::Wav(mono, testwav::Samples16(std::vector<int16_t>(44100, 1000)))));
        QJsonArray cues;
        cues.append(QJsonObject{{"path", Path("ramp.wav")}, {"description", "Ramp"}});
        cues.append(QJsonObject{
            {"path", Path("hum.wav")}, {"channel", 1}, {"fadeOut", 1000}, {"flags", 0x20000000}});
        cues.append(QJsonObject{{"path", Path("missing.wav")}});
        QFile json(Path("list.json"));
        ASSERT_TRUE(json.open(QIODevice::WriteOnly));
        json.write(QJsonDocument(QJsonObject{{"cues", cues}}).toJson());
        json.close();
        const Result built = RunCli({"build", Path("list.json"), Path("show.mvl")});
        ASSERT_EQ(built.status, 0) << built.err.constData();
    }

    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(CliEngine, ChannelsListsTheDevicesOfTheSelectedBackend) {
    const Result r = RunCli({"channels"}, QStringLiteral("virtual:3"));
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out, "0 - Virtual output 1\n1 - Virtual output 2\n2 - Virtual output 3\n");
    const Result bad = RunCli({"channels"}, QStringLiteral("bogus"));
    EXPECT_NE(bad.status, 0);
    EXPECT_TRUE(bad.err.startsWith("Failed to initialize DirectX Audio\nMARVANE_AUDIO: unknown"))
        << bad.err.constData();
}

TEST_F(CliEngine, RenderPlaysCuesOnTheirChannelsAndReportsEveryStatusAtItsFrame) {
    const Result r = RunCli({"render", Path("show.mvl"), Path("out.wav"), "--channels", "2",
                             "--play", "0@0", "--play", "1@0.1", "--cmd", "kill@1:1"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    // 0.1 s and 1 s are rounded up to refill boundaries (2048 frames); the ramp's 20000 frames
    // are heard to their end before it reports; kill silences the hum at once and ends it at
    // the next refill.
    EXPECT_EQ(r.out, "0 0 STARTED\n6144 1 STARTED\n20480 0 ENDED\n47104 1 ENDED\n");

    const std::vector<int16_t> first = LeftSamples(Path("out.wav"));
    const std::vector<int16_t> second = LeftSamples(Path("out-1.wav"));
    ASSERT_EQ(first.size(), 47104u);
    ASSERT_EQ(second.size(), 47104u);
    for (uint32_t i = 0; i < 20000; ++i) ASSERT_EQ(first[i + 2], 1 + static_cast<int>(i)) << i;
    EXPECT_EQ(first[20002], 0);
    EXPECT_EQ(second[6143], 0);
    EXPECT_EQ(second[6146], 1000);
    EXPECT_EQ(second[45055], 1000);  // the last frame before the kill
    for (uint32_t i = 45056; i < 47104; ++i) ASSERT_EQ(second[i], 0) << i;
}

// Multichannel devices: channels lists the pairs; render --outputs writes files of every output
// with each cue on its own pair (the hum's channel 1 is outputs 3/4 of the first device).
TEST_F(CliEngine, RenderWithOutputsPutsEachCueOnItsPairOfTheDevice) {
    Result r = RunCli({"channels"}, QStringLiteral("virtual:2x5"));
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out,
              "0 - Virtual output 1 1/2\n1 - Virtual output 1 3/4\n2 - Virtual output 1 5\n"
              "3 - Virtual output 2 1/2\n4 - Virtual output 2 3/4\n5 - Virtual output 2 5\n");

    r = RunCli({"render", Path("show.mvl"), Path("multi.wav"), "--outputs", "8", "--play", "0@0",
                "--play", "1@0", "--max-seconds", "0.2"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    QFile file(Path("multi.wav"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto at = [&](qsizetype offset) {
        return static_cast<int16_t>(static_cast<uint8_t>(bytes[offset]) |
                                    (static_cast<uint8_t>(bytes[offset + 1]) << 8));
    };
    EXPECT_EQ(at(22), 8);                      // channels in the header
    ASSERT_EQ(bytes.size(), 44 + 16 * 10240);  // 0.2 s rounded up to a refill
    const qsizetype frame = 44 + 16 * 100;
    const std::vector<int16_t> expected = {99, -99, 1000, 1000, 0, 0, 0, 0};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(at(frame + 2 * k), expected[k]) << "output " << k + 1;

    EXPECT_EQ(RunCli({"render", Path("show.mvl"), Path("o.wav"), "--outputs", "65"}).status, 2);
    EXPECT_EQ(RunCli({"render", Path("show.mvl"), Path("o.wav"), "--outputs", "0"}).status, 2);
}

TEST_F(CliEngine, RenderFadesOutAndStopsAtMaxSeconds) {
    Result r = RunCli(
        {"render", Path("show.mvl"), Path("fade.wav"), "--play", "1@0", "--cmd", "fadeout@0"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    // -4000 per second is -185 per refill: -40 dB after 22 refills, then twice as fast.
    EXPECT_EQ(r.out, "0 1 STARTED\n45056 1 FADED\n67584 1 ENDED\n");

    r = RunCli(
        {"render", Path("show.mvl"), Path("max.wav"), "--play", "1@0", "--max-seconds", "0.5"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out, "0 1 STARTED\n");
    EXPECT_EQ(LeftSamples(Path("max.wav")).size(), 22528u);
}

TEST_F(CliEngine, RenderRefusesBadArgumentsAndNamesCuesThatCannotPlay) {
    Result r = RunCli({"render", Path("show.mvl"), Path("o.wav"), "--play", "2@0", "--play",
                       "0@0.5", "--seek", "50@0.6:0"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_TRUE(r.err.contains("row 2: Cannot open WAV file - please check filename and path"));
    EXPECT_TRUE(r.out.startsWith("22528 0 STARTED\n")) << r.out.constData();

    EXPECT_EQ(RunCli({"render", Path("show.mvl"), Path("o.wav"), "--play", "7@0"}).status, 1);
    EXPECT_EQ(RunCli({"render", Path("show.mvl"), Path("o.wav"), "--cmd", "jump@1"}).status, 2);
    EXPECT_EQ(RunCli({"render", Path("show.mvl"), Path("o.wav"), "--play", "0@-1"}).status, 2);
    EXPECT_EQ(RunCli({"render", Path("show.mvl"), Path("o.wav"), "--channels", "0"}).status, 2);
    EXPECT_EQ(RunCli({"render", Path("none.mvl"), Path("o.wav"), "--play", "0@0"}).status, 1);
}
