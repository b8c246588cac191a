// marvane-cli check and collect on a show with a missing file, a broken file, a channel this
// machine lacks and two sound files of the same name in different folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "cli/CliProcess.h"
#include "platform/media/TestSound.h"

namespace {

QProcessEnvironment Audio(const char* value) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MARVANE_AUDIO"), QString::fromLatin1(value));
    return env;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class CliShowCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("show/a")));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("show/b")));
        const std::vector<int16_t> one = testsound::Tones(4410, 2);
        std::vector<int16_t> two = one;
        for (int16_t& s : two) s = static_cast<int16_t>(s / 2);
        ASSERT_TRUE(testsound::Write16(Path("show/a/bell.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2,
                                       44100, one));
        ASSERT_TRUE(testsound::Write16(Path("show/b/Bell.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2,
                                       44100, two));
        ASSERT_TRUE(testsound::Write16(Path("show/rain.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2,
                                       48000, one));
        QFile broken(QString::fromLocal8Bit(Path("show/broken.mp3")));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(3000, '\x42'));
        broken.close();
    }

    QByteArray Path(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name)).toLocal8Bit();
    }

    // Builds a list from cues given as {id, description, path, channel}.
    QString BuildList(const char* name, const QJsonArray& cues) {
        const QString json = m_dir.filePath(QStringLiteral("list.json"));
        QFile file(json);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(QJsonObject{{"cues", cues}}).toJson());
        file.close();
        const QString list = m_dir.filePath(QString::fromLatin1(name));
        const clitest::Result built =
            clitest::Run(clitest::kCli, {QStringLiteral("build"), json, list}, 30000);
        EXPECT_EQ(built.status, 0) << built.err.toStdString();
        return list;
    }

    static QJsonObject Cue(const char* id, const char* description, const QByteArray& path,
                           int channel = 0) {
        return {{"id", id},
                {"description", description},
                {"path", QString::fromLocal8Bit(path)},
                {"channel", channel}};
    }

    QString ShowList() {
        return BuildList("show/Show.mvl", {Cue("Q010", "Bell A", Path("show/a/bell.wav")),
                                           Cue("Q020", "Bell B", Path("show/b/Bell.wav"), 7),
                                           Cue("Q030", "Rain", Path("show/rain.flac")),
                                           Cue("Q040", "Gone", Path("show/gone.wav")),
                                           Cue("Q050", "Broken", Path("show/broken.mp3")),
                                           Cue("Q060", "Rain again", Path("show/rain.flac"), 1)});
    }

    QTemporaryDir m_dir;
};

TEST_F(CliShowCheckTest, CheckReportsEveryProblemAsTextAndJsonWithItsExitStatus) {
    const QString list = ShowList();
    const clitest::Result text =
        clitest::Run(clitest::kCli, {QStringLiteral("check"), list}, 30000, Audio("virtual:2"));
    EXPECT_EQ(text.status, 1) << text.err.toStdString();
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << text.out.toStdString();
    EXPECT_EQ(lines[0],
              "row 2\tQ020\tBell B\tChannel 7 does not exist here: the cue will play on "
              "channel 0");
    EXPECT_EQ(lines[1], "row 4\tQ040\tGone\tFile not found: " + Path("show/gone.wav"));
    EXPECT_TRUE(lines[2].startsWith("row 5\tQ050\tBroken\tNot a sound file this program can play"));
    EXPECT_EQ(lines[3], "6 cues, 3 problems");

    const clitest::Result json =
        clitest::Run(clitest::kCli, {QStringLiteral("check"), QStringLiteral("--json"), list},
                     30000, Audio("virtual:2"));
    EXPECT_EQ(json.status, 1);
    const QJsonObject root = QJsonDocument::fromJson(json.out).object();
    EXPECT_EQ(root.value("cues").toInt(), 6);
    const QJsonArray problems = root.value("problems").toArray();
    ASSERT_EQ(problems.size(), 3);
    EXPECT_EQ(problems[1].toObject(),
              (QJsonObject{{"row", 4},
                           {"id", "Q040"},
                           {"description", "Gone"},
                           {"problem",
                            "File not found: " + QString::fromLocal8Bit(Path("show/gone.wav"))}}));

    // One output only: channel 1 is missing too. No output at all: channels are skipped.
    const clitest::Result one =
        clitest::Run(clitest::kCli, {QStringLiteral("check"), list}, 30000, Audio("virtual:1"));
    EXPECT_TRUE(one.out.contains("6 cues, 4 problems"));
    const clitest::Result none =
        clitest::Run(clitest::kCli, {QStringLiteral("check"), list}, 30000, Audio("virtual:0"));
    EXPECT_TRUE(none.out.contains("6 cues, 2 problems"));
    EXPECT_TRUE(none.err.contains("channels were not checked"));

    // A show without problems.
    const QString clean = BuildList("clean.mvl", {Cue("Q1", "A", Path("show/a/bell.wav")),
                                                  Cue("Q2", "R", Path("show/rain.flac"), 1)});
    const clitest::Result ok =
        clitest::Run(clitest::kCli, {QStringLiteral("check"), clean}, 30000, Audio("virtual:2"));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "2 cues, 0 problems\n");
    EXPECT_EQ(clitest::Run(clitest::kCli, {QStringLiteral("check")}, 30000).status, 2);
}

TEST_F(CliShowCheckTest, CollectCopiesEachFileOnceUnderUniqueNamesAndRewritesOnlyTheCopy) {
    const QString list = ShowList();
    const QByteArray original = ReadAll(list);
    const QString folder = m_dir.filePath(QStringLiteral("packed/show"));
    const clitest::Result packed =
        clitest::Run(clitest::kCli, {QStringLiteral("collect"), list, folder}, 30000);
    // The missing file is named and makes the status 1; the rest is collected.
    EXPECT_EQ(packed.status, 1);
    EXPECT_TRUE(packed.err.contains("gone.wav")) << packed.err.toStdString();
    EXPECT_EQ(ReadAll(list), original);

    QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files,
              QStringList({"Bell-2.wav", "Show.mvl", "bell.wav", "broken.mp3", "rain.flac"}));
    EXPECT_EQ(ReadAll(folder + "/bell.wav"),
              ReadAll(QString::fromLocal8Bit(Path("show/a/bell.wav"))));
    EXPECT_EQ(ReadAll(folder + "/Bell-2.wav"),
              ReadAll(QString::fromLocal8Bit(Path("show/b/Bell.wav"))));

    // Carried elsewhere (the original files gone), the copy still finds every collected file.
    ASSERT_TRUE(QDir(m_dir.path()).rename(QStringLiteral("show"), QStringLiteral("gone-show")));
    const QString moved = m_dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(
        QDir(m_dir.path()).rename(QStringLiteral("packed/show"), QStringLiteral("elsewhere")));
    const clitest::Result check = clitest::Run(
        clitest::kCli, {QStringLiteral("check"), QStringLiteral("--json"), moved + "/Show.mvl"},
        30000, Audio("virtual:2"));
    const QJsonArray problems =
        QJsonDocument::fromJson(check.out).object().value("problems").toArray();
    QList<int> rows;
    for (const QJsonValue& p : problems) rows.append(p.toObject().value("row").toInt());
    EXPECT_EQ(rows, QList<int>({2, 4, 5}));  // the channel, the missing and the broken file

    // A folder that is not empty is refused, and nothing is written into it.
    const clitest::Result again =
        clitest::Run(clitest::kCli, {QStringLiteral("collect"), moved + "/Show.mvl", moved}, 30000);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(again.err.contains("not empty"));
    EXPECT_EQ(QDir(moved).entryList(QDir::Files).size(), 5);
}

}  // namespace
