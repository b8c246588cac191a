// Machines in step: what an action here sends to the backups, and a backup link talking to a
// real OSC listener on this machine.
#include <gtest/gtest.h>

#include <QTest>

#include "remote/BackupLink.h"
#include "remote/OscController.h"
#include "view/CommandIds.h"
#include "view/ShowAction.h"

namespace {

// A show that records what it was asked to do.
class RecordingShow : public IRemoteShow {
public:
    RemoteResult Perform(const RemoteRequest& request, const CommandSource& source) override {
        performed.append(request);
        sources.append(source);
        return request.cueId == "Q999" ? RemoteResult::Error("unknown cue") : RemoteResult::Ok();
    }
    ShowStatus GetStatus() const override { return {}; }

    QList<RemoteRequest> performed;
    QList<CommandSource> sources;
};

ShowAction Action(ShowAction::Kind kind, QList<ShowAction::Cue> cues, CommandSource source = {}) {
    ShowAction action;
    action.kind = kind;
    action.cues = std::move(cues);
    action.source = source;
    return action;
}

TEST(BackupForwarding, GoSendsEachStartedCueAndOscActionsAreNeverSentOn) {
    const auto go = remote::ForwardedRequests(Action(
        ShowAction::Kind::Go, {{"Q010", "a", true}, {"Q020", "b", false}, {"Q030", "c", true}}));
    ASSERT_EQ(go.size(), 2);
    EXPECT_EQ(go[0].kind, RemoteRequest::Kind::StartCue);
    EXPECT_EQ(go[0].cueId, "Q010");
    EXPECT_EQ(go[1].cueId, "Q030");

    EXPECT_TRUE(remote::ForwardedRequests(Action(ShowAction::Kind::Go, {{"Q010", "a", true}},
                                                 CommandSource::FromOsc("10.0.0.2")))
                    .isEmpty());
    EXPECT_EQ(
        remote::ForwardedRequests(Action(ShowAction::Kind::StopAll, {}, CommandSource::FromMidi()))
            .size(),
        1);
    EXPECT_TRUE(
        remote::ForwardedRequests(Action(ShowAction::Kind::GoIgnored, {{"Q010", "a", true}}))
            .isEmpty());

    ShowAction live = Action(ShowAction::Kind::Live, {});
    live.command = ID_AUDIO_VOLUP;
    live.target = ShowAction::Target::Others;
    const auto sent = remote::ForwardedRequests(live);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].command, ID_AUDIO_VOLUP);
    EXPECT_EQ(sent[0].target, RemoteRequest::kOthers);
    EXPECT_EQ(remote::ForwardedRequests(Action(ShowAction::Kind::KillCue, {{"Q2", "", true}}))
                  .front()
                  .kind,
              RemoteRequest::Kind::StopCue);
}

TEST(BackupLink, APeerThatAnswersIsOkAndItsCommandsArriveAsOsc) {
    RecordingShow show;
    OscController peer(show);
    OscController::Settings settings;
    settings.enabled = true;
    settings.server.port = 0;
    settings.server.interfaceAddress = "127.0.0.1";
    settings.passcode = "pw";
    QString error;
    ASSERT_TRUE(peer.Apply(settings, &error)) << error.toStdString();

    BackupLink link;
    const QString address = QStringLiteral("127.0.0.1:%1").arg(peer.GetServer().GetPort());
    ASSERT_TRUE(link.SetPeers({address}, "pw", &error));
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.GetStatusText() == "Backup: ok"; }, 3000));

    link.Forward(Action(ShowAction::Kind::Go, {{"Q010", "a", true}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !show.performed.isEmpty(); }, 2000));
    EXPECT_EQ(show.performed.front().kind, RemoteRequest::Kind::StartCue);
    EXPECT_EQ(show.performed.front().cueId, "Q010");
    EXPECT_EQ(show.sources.front().kind, CommandSource::Kind::Osc);
}

TEST(BackupLink, APeerThatIsNotThereIsNotAnsweringAndBadPeersAreNamed) {
    BackupLink link;
    QString error;
    // A port nobody listens on, and an entry that is no address at all.
    EXPECT_FALSE(link.SetPeers({"127.0.0.1:9", "no such host!:1"}, {}, &error));
    EXPECT_TRUE(error.contains("no such host!:1"));
    EXPECT_EQ(link.GetPeerCount(), 1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return link.GetStatusText() == "Backup: not answering"; }, 5000));
    ASSERT_TRUE(link.SetPeers({}, {}, &error));
    EXPECT_TRUE(link.GetStatusText().isEmpty());
}

}  // namespace
