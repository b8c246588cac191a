// MIDI through a real MIDI system: a JACK server with a dummy driver, a virtual output port of
// the test standing for the desk, and the controller's RtMidi input connected to it. Skipped
// where jackd is not installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <rtmidi/RtMidi.h>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include "remote/MidiController.h"
#include "shell/CMidiPrefsPage.h"
#include "view/CommandIds.h"

namespace {

class RecordingShow : public IRemoteShow {
public:
    RemoteResult Perform(const RemoteRequest& request, const CommandSource&) override {
        performed.append(request);
        return RemoteResult::Ok();
    }
    ShowStatus GetStatus() const override { return {}; }
    QList<RemoteRequest> performed;
};

class MidiJackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("jackd").isEmpty()) GTEST_SKIP() << "no jackd";
        const QByteArray name = "marvane-midi-" + QByteArray::number(getpid());
        qputenv("JACK_DEFAULT_SERVER", name);
        qputenv("JACK_NO_START_SERVER", "1");
        qputenv("MARVANE_MIDI_API", "jack");
        m_jackd.setProcessChannelMode(QProcess::MergedChannels);
        m_jackd.start("jackd",
                      {"-n", name, "--no-realtime", "-d", "dummy", "-r", "44100", "-p", "512"});
        ASSERT_TRUE(m_jackd.waitForStarted(5000));
        ASSERT_EQ(QProcess::execute("jack_wait", {"-s", name, "-w", "-t", "10"}), 0);
        m_desk = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "TestDesk");
        m_desk->openVirtualPort("out");
    }
    void TearDown() override {
        m_desk.reset();
        if (m_jackd.state() != QProcess::NotRunning) {
            m_jackd.terminate();
            if (!m_jackd.waitForFinished(5000)) m_jackd.kill();
        }
    }
    void Send(std::vector<unsigned char> bytes) { m_desk->sendMessage(&bytes); }

    QProcess m_jackd;
    std::unique_ptr<RtMidiOut> m_desk;
};

TEST_F(MidiJackTest, NotesProgramsAndShowControlFromADeskReachTheShowAndLearnCapturesAControl) {
    RecordingShow show;
    MidiController midi(show);
    MidiController::Settings settings;
    settings.enabled = true;
    settings.port = "TestDesk";
    settings.mappings.append(*MidiMapping::FromText("program any 4 0 /cue/Q040/start"));
    QString error;
    ASSERT_TRUE(midi.Apply(settings, &error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !midi.GetOpenPorts().isEmpty(); }, 5000))
        << midi.GetPortNames().join(", ").toStdString();

    Send({0x90, 60, 100});
    Send({0xC0, 4});
    Send({0xF0, 0x7F, 0x7F, 0x02, 0x10, 0x01, '1', '0', 0xF7});
    Send({0xF0, 0x7F, 0x01, 0x02, 0x10, 0x01, 0x99, 0x12, 0xF7});  // garbage SysEx
    Send({0x90, 61, 100});
    ASSERT_TRUE(QTest::qWaitFor([&] { return show.performed.size() >= 4; }, 3000));
    QTest::qWait(100);
    ASSERT_EQ(show.performed.size(), 4);
    EXPECT_EQ(show.performed[0].command, ID_AUDIO_GO);
    EXPECT_EQ(show.performed[1].cueId, "Q040");
    EXPECT_EQ(show.performed[2].kind, RemoteRequest::Kind::MscGo);
    EXPECT_EQ(show.performed[2].cueId, "10");
    EXPECT_EQ(show.performed[3].command, ID_AUDIO_STOPALL);

    // A second desk plugged in later is opened by the next rescan.
    RtMidiOut second(RtMidi::UNIX_JACK, "TestDeskTwo");
    second.openVirtualPort("out");
    ASSERT_TRUE(QTest::qWaitFor([&] { return midi.GetOpenPorts().size() == 2; },
                                3 * MidiController::kRescanMs));
    std::vector<unsigned char> note{0x90, 60, 100};
    second.sendMessage(&note);
    ASSERT_TRUE(QTest::qWaitFor([&] { return show.performed.size() == 5; }, 3000));
    EXPECT_EQ(show.performed[4].command, ID_AUDIO_GO);

    // Learn in Preferences: press the button, move a fader on channel 2.
    CMidiPrefsPage page(&midi);
    EXPECT_TRUE(page.GetPortField()->findText("TestDesk", Qt::MatchContains) >= 0);
    page.GetMappingTable()->setRowCount(0);
    page.GetLearnButton()->click();
    Send({0xB1, 7, 90});
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.GetMappingTable()->rowCount() == 1; }, 3000));
    EXPECT_FALSE(page.GetLearnButton()->isChecked());
    const QList<MidiMapping> learned = page.GetMappings();
    ASSERT_EQ(learned.size(), 1);
    EXPECT_EQ(learned[0].type, MidiEvent::Type::ControlChange);
    EXPECT_EQ(learned[0].channel, 1);
    EXPECT_EQ(learned[0].number, 7);
}

}  // namespace
