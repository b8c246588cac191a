#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "cli/CliProcess.h"

// marvane-cli dump and build, run as the show designers' scripts run them.

namespace {

const QString kData = QStringLiteral(MARVANE_TEST_DATA);

using clitest::Result;

Result RunCli(const QStringList& args) { return clitest::Run(clitest::kCli, args, 30000); }

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class CliCueList : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    void Write(const QString& name, const QByteArray& bytes) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(CliCueList, DumpShowsFieldsAndRowTexts) {
    const Result r = RunCli({"dump", kData + "/two_cues.mvl"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    const QJsonObject root = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(root["lastCueNumber"].toInt(), 20);
    const QJsonArray cues = root["cues"].toArray();
    ASSERT_EQ(cues.size(), 2);
    const QJsonObject rain = cues[1].toObject();
    EXPECT_EQ(rain["id"].toString(), "Q020");
    EXPECT_EQ(rain["path"].toString(), "D:\\Sounds\\Rain.wav");
    EXPECT_EQ(rain["volume"].toInt(), -6);
    EXPECT_EQ(rain["pan"].toInt(), -20);
    EXPECT_EQ(rain["flags"].toInteger(), 0x20000001);
    EXPECT_EQ(rain["fadeIn"].toInt(), 1500);
    QStringList texts;
    for (const QJsonValue& v : rain["texts"].toArray()) texts << v.toString();
    EXPECT_EQ(texts, QStringList(
                         {"Q020", "Rain", "Rain.wav", "BL", "1", "-6dB", "L20", "1.5", "5.0", ""}));
}

TEST_F(CliCueList, BuildThenDumpRoundTripsAndMatchesTheExample) {
    Write("one.json",
          R"({"lastCueNumber": 10, "cues": [{"id": "Q010", "description": "Bell",
              "path": "D:\\Sounds\\Bell.wav", "texts": ["ignored"]}]})");
    Result r = RunCli({"build", Path("one.json"), Path("one.MVL")});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(ReadFile(Path("one.MVL")), ReadFile(kData + "/one_cue.mvl"));

    // Dump of the varied list, built again, gives the same file byte for byte when its texts
    // are UTF-8 (texts in other encodings come back as UTF-8).
    r = RunCli({"dump", kData + "/varied_cues.mvl"});
    ASSERT_EQ(r.status, 0);
    Write("varied.json", r.out);
    ASSERT_EQ(RunCli({"build", Path("varied.json"), Path("varied.MVL")}).status, 0);
    const Result again = RunCli({"dump", Path("varied.MVL")});
    EXPECT_EQ(again.out, r.out);
}

TEST_F(CliCueList, FailuresPrintTheProgramsMessageAndExitWithOne) {
    Write("cut.MVL", ReadFile(kData + "/one_cue.mvl").left(40));
    Write("bad.json", "{ not json");
    Write("range.json", R"({"cues": [{"reserved": 256}]})");
    Write("ok.json", R"({"cues": [{}]})");
    struct Case {
        QStringList args;
        QString message;
    };
    const Case cases[] = {
        {{"dump", Path("cut.MVL")}, "Unexpected file format."},
        {{"dump", Path("none.MVL")}, Path("none.MVL") + " was not found."},
        {{"dump", Path("x/none.MVL")}, Path("x/none.MVL") + " contains an invalid path."},
        {{"build", Path("none.json"), Path("o.MVL")}, Path("none.json") + " was not found."},
        {{"build", Path("ok.json"), Path("x/o.MVL")},
         Path("x/o.MVL") + " contains an invalid path."},
        {{"build", Path("bad.json"), Path("o.MVL")}, ""},
        {{"build", Path("range.json"), Path("o.MVL")}, ""},
        {{"dump"}, ""},
    };
    for (const Case& c : cases) {
        const Result r = RunCli(c.args);
        EXPECT_EQ(r.status, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        if (!c.message.isEmpty()) {
            EXPECT_EQ(QString::fromLocal8Bit(r.err).trimmed(), c.message);
        }
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(Path("o.MVL")));

    // Missing fields take the record's initial values.
    ASSERT_EQ(RunCli({"build", Path("ok.json"), Path("ok.MVL")}).status, 0);
    const QJsonObject cue =
        QJsonDocument::fromJson(RunCli({"dump", Path("ok.MVL")}).out)["cues"][0].toObject();
    EXPECT_EQ(cue["fadeOut"].toInt(), 5000);
    EXPECT_EQ(cue["id"].toString(), "");
}

TEST_F(CliCueList, BuildRefusesHostileDescriptionsWithAClearMessage) {
    const QString deep = QString(100000, '[') + QString(100000, ']');
    struct Case {
        QByteArray json;
        QString says;  // a part of the message
    };
    const Case cases[] = {
        {"[]", "not an object"},
        {"\"cues\"", "is not a cue list description"},
        {"", "is not a cue list description"},
        {deep.toLatin1(), "is not a cue list description"},
        {R"({"cues": {"0": {}}})", "\"cues\" must be an array."},
        {R"({"cues": [[]]})", "cue 1 must be an object."},
        {R"({"cues": [{}, 7]})", "cue 2 must be an object."},
        {R"({"cues": [{"channel": 1e300}]})", "\"channel\" must be a whole number"},
        {R"({"cues": [{"volume": -1e300}]})", "\"volume\" must be a whole number"},
        {R"({"cues": [{"pan": 9223372036854775808}]})", "\"pan\" must be a whole number"},
        {R"({"cues": [{"pan": 2147483648}]})", "\"pan\" must be a whole number"},
        {R"({"cues": [{"fadeIn": -1}]})", "\"fadeIn\" must be a whole number"},
        {R"({"cues": [{"fadeOut": 4294967296}]})", "\"fadeOut\" must be a whole number"},
        {R"({"cues": [{"flags": 0.5}]})", "\"flags\" must be a whole number"},
        {R"({"cues": [{"channel": "1"}]})", "\"channel\" must be a whole number"},
        {R"({"cues": [{"channel": null}]})", "\"channel\" must be a whole number"},
        {R"({"cues": [{"id": 5}]})", "\"id\" must be a text."},
        {R"({"cues": [{"path": ["a"]}]})", "\"path\" must be a text."},
        {R"({"lastCueNumber": 1e19, "cues": []})", "\"lastCueNumber\" must be a whole number"},
        {R"({"lastCueNumber": -1e19})", "\"lastCueNumber\" must be a whole number"},
    };
    for (const Case& c : cases) {
        Write("hostile.json", c.json);
        const Result r = RunCli({"build", Path("hostile.json"), Path("o.MVL")});
        EXPECT_EQ(r.status, 1) << c.json.left(80).toStdString();
        EXPECT_TRUE(QString::fromLocal8Bit(r.err).contains(c.says))
            << c.json.left(80).toStdString() << ": " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(Path("o.MVL"))) << c.json.left(80).toStdString();
    }

    // The ends of every range are taken.
    Write("ends.json",
          R"({"lastCueNumber": 4294967295, "cues": [{"channel": -2147483648,
              "volume": 2147483647, "fadeIn": 4294967295, "flags": 0, "reserved": 255}]})");
    ASSERT_EQ(RunCli({"build", Path("ends.json"), Path("ends.MVL")}).status, 0);
    const QJsonObject cue =
        QJsonDocument::fromJson(RunCli({"dump", Path("ends.MVL")}).out)["cues"][0].toObject();
    EXPECT_EQ(cue["channel"].toInteger(), -2147483648LL);
    EXPECT_EQ(cue["fadeIn"].toInteger(), 4294967295LL);
}

TEST_F(CliCueList, ANameThatIsNotValidTextIsRefusedNotReadOrWrittenUnderAnotherName) {
    Write("ok.json", R"({"cues": [{}]})");
    // Qt can pass only text as arguments: a shell gives the program the raw bytes.
    const auto runRaw = [&](const QString& command, const QString& before) {
        const QString script =
            QStringLiteral("cd \"$1\" && exec \"$0\" %1 %2 \"$(printf 'b\\351.MVL')\"")
                .arg(command, before);
        return clitest::Run(QStringLiteral("/bin/sh"), {"-c", script, clitest::kCli, m_dir.path()},
                            30000);
    };
    const Result built = runRaw("build", Path("ok.json"));
    EXPECT_EQ(built.status, 1);
    EXPECT_TRUE(built.err.contains("not valid text")) << built.err.toStdString();
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"ok.json"})
        << "nothing written under a replacement name";
    const Result dumped = runRaw("dump", "");
    EXPECT_EQ(dumped.status, 1);
    EXPECT_TRUE(dumped.err.contains("not valid text")) << dumped.err.toStdString();
}

TEST_F(CliCueList, BuildReadsTheCueTypeAndFlagsByName) {
    // Readable names give the same bits as the number, and replace only their part of it.
    Write("named.json", R"({"cues": [
        {"id": "A", "type": "Background", "looped": true, "exclusive": false},
        {"id": "B", "flags": 805306369, "type": "automatic", "exclusive": false},
        {"id": "C", "flags": 2}]})");
    ASSERT_EQ(RunCli({"build", Path("named.json"), Path("named.MVL")}).status, 0);
    const Result dump = RunCli({"dump", Path("named.MVL")});
    const QJsonArray cues = QJsonDocument::fromJson(dump.out).object()["cues"].toArray();
    ASSERT_EQ(cues.size(), 3);
    EXPECT_EQ(cues[0].toObject()["flags"].toInteger(), 0x20000001);
    EXPECT_EQ(cues[1].toObject()["flags"].toInteger(), 0x20000003);
    EXPECT_EQ(cues[2].toObject()["flags"].toInteger(), 2);

    // A name or a value that is not understood is an error that names the field.
    const std::pair<const char*, const char*> bad[] = {
        {R"({"cues": [{"type": "Looping"}]})", "\"type\""},
        {R"({"cues": [{"type": 1}]})", "\"type\""},
        {R"({"cues": [{"exclusive": 1}]})", "\"exclusive\""},
        {R"({"cues": [{"looped": "yes"}]})", "\"looped\""},
    };
    for (const auto& [json, field] : bad) {
        Write("bad.json", json);
        const Result r = RunCli({"build", Path("bad.json"), Path("bad.MVL")});
        EXPECT_EQ(r.status, 1) << json;
        EXPECT_TRUE(r.err.contains(field)) << json << r.err.constData();
        EXPECT_FALSE(QFile::exists(Path("bad.MVL"))) << json;
    }
}

TEST_F(CliCueList, BuildWarnsAboutWhatTheProgramWouldRefuseAndStrictWritesNothing) {
    Write("doorbell.wav", QByteArray("RIFF"));
    // Values at the ends of the dialog's ranges, and a sound file beside the list under another
    // letter case, are fine.
    Write("edges.json", R"({"cues": [
        {"id": "LO", "path": "DOORBELL.WAV", "volume": -100, "pan": -100, "fadeIn": 60000},
        {"id": "HI", "path": "X:\\elsewhere\\doorbell.wav", "volume": 0, "pan": 100,
         "fadeOut": 0}]})");
    Result r = RunCli({"build", "--strict", Path("edges.json"), Path("edges.MVL")});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();

    const QByteArray bad = R"({"cues": [
        {"id": "Q1", "path": "doorbell.wav", "volume": -101, "pan": 101, "fadeOut": 60001},
        {"id": "Q2", "path": "gone.wav", "volum": -3}]})";
    Write("bad.json", bad);
    r = RunCli({"build", Path("bad.json"), Path("bad.MVL")});
    EXPECT_EQ(r.status, 0);
    const QList<QByteArray> lines = r.err.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 5) << r.err.constData();
    for (const QByteArray& line : lines) EXPECT_TRUE(line.startsWith("warning: ")) << line.data();
    EXPECT_TRUE(lines[0].contains("cue 1 (Q1): \"volume\" -101")) << lines[0].data();
    EXPECT_TRUE(lines[1].contains("cue 1 (Q1): \"pan\" 101")) << lines[1].data();
    EXPECT_TRUE(lines[2].contains("cue 1 (Q1): \"fadeOut\" 60001")) << lines[2].data();
    EXPECT_TRUE(lines[3].contains("cue 2 (Q2): \"volum\"")) << lines[3].data();
    EXPECT_TRUE(lines[4].contains("cue 2 (Q2): \"path\" gone.wav")) << lines[4].data();
    // Written as given, warnings or not: the values come back unchanged.
    const QJsonArray cues =
        QJsonDocument::fromJson(RunCli({"dump", Path("bad.MVL")}).out).object()["cues"].toArray();
    ASSERT_EQ(cues.size(), 2);
    EXPECT_EQ(cues[0].toObject()["volume"].toInt(), -101);
    EXPECT_EQ(cues[0].toObject()["fadeOut"].toInt(), 60001);

    // --strict: the same texts as errors, exit 1, and the file that was there stays as it was.
    Write("kept.MVL", QByteArray("the old list"));
    r = RunCli({"build", Path("bad.json"), "--strict", Path("kept.MVL")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("error: ")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("was not written")) << r.err.constData();
    EXPECT_EQ(ReadFile(Path("kept.MVL")), QByteArray("the old list"));
}
