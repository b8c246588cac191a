// MIDI and MIDI Show Control: parsing what devices send (and what broken ones send), the
// mappings, and what each message makes the show do.
#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "remote/MidiController.h"
#include "remote/MidiMapping.h"
#include "remote/MidiParser.h"
#include "view/CommandIds.h"

namespace {

using Bytes = std::vector<unsigned char>;

class RecordingShow : public IRemoteShow {
public:
    RemoteResult Perform(const RemoteRequest& request, const CommandSource& source) override {
        performed.append(request);
        EXPECT_EQ(source.kind, CommandSource::Kind::Midi);
        return RemoteResult::Ok();
    }
    ShowStatus GetStatus() const override { return {}; }
    QList<RemoteRequest> performed;
};

MidiEvent ParseBytes(const Bytes& bytes) { return midi::Parse(bytes.data(), bytes.size()); }

std::optional<MscCommand> Msc(const Bytes& bytes) {
    return midi::ParseMsc(bytes.data(), bytes.size());
}

// F0 7F <device> 02 <format> <command> <text> F7
Bytes MscBytes(int device, int format, int command, const std::string& text = {}) {
    Bytes bytes{0xF0,
                0x7F,
                static_cast<unsigned char>(device),
                0x02,
                static_cast<unsigned char>(format),
                static_cast<unsigned char>(command)};
    for (char c : text) bytes.push_back(static_cast<unsigned char>(c));
    bytes.push_back(0xF7);
    return bytes;
}

TEST(MidiParse, ChannelMessagesAndWhatIsNotOne) {
    const MidiEvent note = ParseBytes({0x93, 60, 100});
    EXPECT_EQ(note.type, MidiEvent::Type::NoteOn);
    EXPECT_EQ(note.channel, 3);
    EXPECT_EQ(note.number, 60);
    EXPECT_EQ(ParseBytes({0xC0, 5}).type, MidiEvent::Type::ProgramChange);
    EXPECT_EQ(ParseBytes({0xB1, 7, 64}).value, 64);
    // Note On with velocity 0 is a Note Off; truncated messages and data bytes above 127 are
    // not messages.
    for (const Bytes& bad : {Bytes{0x90, 60, 0}, Bytes{0x80, 60, 64}, Bytes{0x90, 60},
                             Bytes{0x90, 200, 100}, Bytes{0xB0, 7}, Bytes{0xF8}, Bytes{}}) {
        EXPECT_EQ(ParseBytes(bad).type, MidiEvent::Type::None);
    }
}

TEST(MidiShowControl, ParsesCueNumbersAndRefusesMalformedSysEx) {
    const auto go = Msc(MscBytes(1, 0x10, 0x01,
                                 std::string("10.5\0"
                                             "1",
                                             6)));
    ASSERT_TRUE(go);
    EXPECT_EQ(go->deviceId, 1);
    EXPECT_EQ(go->command, MscCommand::kGo);
    EXPECT_EQ(go->cueNumber, "10.5");
    EXPECT_TRUE(Msc(MscBytes(1, 0x10, 0x02))->cueNumber.isEmpty());
    Bytes noEnd = MscBytes(1, 0x10, 0x01, "10");
    noEnd.pop_back();
    Bytes highByte = MscBytes(1, 0x10, 0x01, "10");
    highByte[6] = 0x90;
    for (const Bytes& bad : {noEnd, highByte, MscBytes(1, 0x10, 0x01, "1x"),
                             MscBytes(1, 0x10, 0x01, std::string(40, '1')),
                             Bytes{0xF0, 0x7E, 0x01, 0x02, 0x10, 0x01, 0xF7}, Bytes{0xF0, 0xF7}}) {
        EXPECT_FALSE(Msc(bad));
    }
}

TEST(MidiShowControl, DeviceIdsAndFormatsAnswered) {
    MscCommand command;
    command.deviceId = 5;
    command.format = MscCommand::kFormatSound;
    EXPECT_TRUE(midi::IsForUs(command, 5, MscCommand::kFormatSound));
    EXPECT_FALSE(midi::IsForUs(command, 6, MscCommand::kFormatSound));
    EXPECT_TRUE(midi::IsForUs(command, MscCommand::kAllCall, MscCommand::kFormatSound));
    command.format = 0x01;  // lighting
    EXPECT_FALSE(midi::IsForUs(command, 5, MscCommand::kFormatSound));
    EXPECT_TRUE(midi::IsForUs(command, 5, MscCommand::kFormatAll));
    command.deviceId = MscCommand::kAllCall;
    command.format = MscCommand::kFormatAll;
    EXPECT_TRUE(midi::IsForUs(command, 9, MscCommand::kFormatSound));
}

TEST(MidiShowControl, CueNumbersMatchIdsByTextOrByNumber) {
    const QStringList ids{"Intro", "Q010", "Q10.5", "20", "Q030A"};
    EXPECT_EQ(remote::MatchCueNumber("10", ids), 1);
    EXPECT_EQ(remote::MatchCueNumber("10.0", ids), 1);
    EXPECT_EQ(remote::MatchCueNumber("010", ids), 1);
    EXPECT_EQ(remote::MatchCueNumber("10.50", ids), 2);
    EXPECT_EQ(remote::MatchCueNumber("20", ids), 3);
    EXPECT_EQ(remote::MatchCueNumber("30", ids), -1);  // "Q030A" is no number
    EXPECT_EQ(remote::MatchCueNumber("1.2.3", ids), -1);
    EXPECT_EQ(remote::MatchCueNumber("", ids), -1);
}

TEST(MidiMappingText, RoundTripsAndRefusesWhatIsNoMapping) {
    const auto cc = MidiMapping::FromText("cc 2 7 64 /live/volumeUp 2");
    ASSERT_TRUE(cc);
    EXPECT_EQ(cc->channel, 1);
    EXPECT_EQ(cc->ToText(), "cc 2 7 64 /live/volumeUp 2");
    EXPECT_EQ(cc->Request()->target, RemoteRequest::kAll);
    EXPECT_TRUE(MidiMapping::FromText("note any 60 0 /cue/Q010/start"));
    for (const char* bad :
         {"note 17 60 0 /go", "note any 128 0 /go", "pitch any 1 0 /go", "note any 60 0 /status",
          "note any 60 0 /go 5", "note any 60 0", "note any 60 0 /nowhere"}) {
        EXPECT_FALSE(MidiMapping::FromText(bad)) << bad;
    }
    EXPECT_EQ(MidiMapping::FromTexts({"junk", "note any 61 0 /stop"}).size(), 1);
}

TEST(MidiController, MappingsAndShowControlReachTheShow) {
    RecordingShow show;
    MidiController midi(show);
    MidiController::Settings settings;
    settings.mscDeviceId = 1;
    settings.mappings.append(*MidiMapping::FromText("program any 3 0 /cue/Q030/start"));
    settings.mappings.append(*MidiMapping::FromText("cc 1 7 64 /live/kill 1"));
    ASSERT_TRUE(midi.Apply(settings, nullptr));  // not enabled: no ports, handling all the same
    QList<MidiEvent> seen;
    QObject::connect(&midi, &MidiController::eventSeen,
                     [&](const MidiEvent& event) { seen.append(event); });

    midi.HandleBytes({0x95, 60, 90});  // default: Note On 60, any channel = Go
    midi.HandleBytes({0x90, 61, 1});   // default: Note On 61 = Stop All
    midi.HandleBytes({0x90, 60, 0});   // Note Off: nothing
    midi.HandleBytes({0xC4, 3});
    midi.HandleBytes({0xB0, 7, 63});  // below the threshold: nothing
    midi.HandleBytes({0xB0, 7, 64});
    midi.HandleBytes(MscBytes(1, 0x10, MscCommand::kGo, "10"));
    midi.HandleBytes(MscBytes(1, 0x10, MscCommand::kGo));
    midi.HandleBytes(MscBytes(0x7F, 0x10, MscCommand::kStop, "20"));
    midi.HandleBytes(MscBytes(1, 0x7F, MscCommand::kAllOff));
    midi.HandleBytes(MscBytes(1, 0x10, MscCommand::kResume));      // ignored
    midi.HandleBytes(MscBytes(2, 0x10, MscCommand::kGo));          // another device: ignored
    midi.HandleBytes({0xF0, 0x7F, 0x01, 0x02, 0x10, 0x01, 0x31});  // no end: ignored

    ASSERT_EQ(show.performed.size(), 8);
    EXPECT_EQ(show.performed[0].command, ID_AUDIO_GO);
    EXPECT_EQ(show.performed[1].command, ID_AUDIO_STOPALL);
    EXPECT_EQ(show.performed[2].cueId, "Q030");
    EXPECT_EQ(show.performed[3].command, ID_AUDIO_KILL);
    EXPECT_EQ(show.performed[3].target, RemoteRequest::kOthers);
    EXPECT_EQ(show.performed[4].kind, RemoteRequest::Kind::MscGo);
    EXPECT_EQ(show.performed[4].cueId, "10");
    EXPECT_EQ(show.performed[5].command, ID_AUDIO_GO);
    EXPECT_EQ(show.performed[6].kind, RemoteRequest::Kind::MscStop);
    EXPECT_EQ(show.performed[7].command, ID_AUDIO_STOPALL);
    EXPECT_EQ(seen.size(), 5);  // the channel messages, for learning
}

}  // namespace
