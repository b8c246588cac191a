#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ShowAction.h"
#include "view/ViewTestSupport.h"

namespace {

constexpr uint32_t kNormal = CQRecord::kTypeNormal;
constexpr uint32_t kBackground = CQRecord::kTypeBackground;
constexpr uint32_t kMultiple = CQRecord::kTypeMultiple;
constexpr uint32_t kAutomatic = CQRecord::kTypeAutomatic;
constexpr uint32_t kExclusive = CQRecord::kFlagExclusive;
constexpr uint32_t kLooped = CQRecord::kFlagLooped;

// What the frame saw, in order: "status" with the reported current player, "delete" with the
// player about to be deleted.
struct FrameEvent {
    std::string what;
    CCuePlayer* player;
};

class ViewShowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_short = m_dir.filePath("short.wav");  // ends by itself after about half a second
        m_long = m_dir.filePath("long.wav");
        ASSERT_TRUE(viewtest::WriteTone(m_short, 900));
        ASSERT_TRUE(viewtest::WriteTone(m_long, 4000));
        m_doc = std::make_unique<CMVDoc>();
        m_doc->OnNewDocument();
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons) {
                m_messages.push_back({text, icon});
                return int(QMessageBox::Ok);
            });
    }

    void TearDown() override {
        m_view.reset();
        mvui::SetMessageHandlerForTesting({});
    }

    CQRecord* Add(const QString& path, uint32_t flags, uint32_t fadeOutMs = 5000) {
        return viewtest::AddCue(*m_doc, path, flags, fadeOutMs);
    }

    CMVView& MakeView() {
        m_view = std::make_unique<CMVView>(m_doc.get());
        m_view->resize(900, 400);
        m_view->OnInitialUpdate();
        m_view->show();
        QObject::connect(m_view.get(), &CMVView::cueStatus, m_view.get(), [this](CCuePlayer* p) {
            m_events.push_back({"status", p});
        });
        QObject::connect(m_view.get(), &CMVView::playerAboutToBeDeleted, m_view.get(),
                         [this](CCuePlayer* p) {
                             m_events.push_back({"delete", p});
                         });
        return *m_view;
    }

    void Go(const QList<int>& rows) {
        m_view->SelectRows(rows, rows.isEmpty() ? -1 : rows.first());
        EXPECT_TRUE(m_view->OnCmdMsg(ID_AUDIO_GO, Qt::NoModifier));
    }

    // Waits until every started player has reported that it started and is current.
    bool WaitForCurrent(CCuePlayer* expected) {
        return QTest::qWaitFor([&] { return m_view->GetCurrentPlayer() == expected; }, 3000);
    }
    bool WaitForOwned(int count, int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return m_view->GetOwnedPlayerCount() == count; }, timeoutMs);
    }

    // Every deleted player was reported as current, if ever, only before a later report of
    // someone else (or nobody).
    void ExpectFrameNeverHoldsDeletedPlayer() const {
        CCuePlayer* frameHolds = nullptr;
        for (const FrameEvent& e : m_events) {
            if (e.what == "status") frameHolds = e.player;
            if (e.what == "delete") {
                EXPECT_NE(frameHolds, e.player);
            }
        }
    }

    QTemporaryDir m_dir;
    QString m_short;
    QString m_long;
    std::unique_ptr<CMVDoc> m_doc;
    std::unique_ptr<CMVView> m_view;
    std::vector<FrameEvent> m_events;
    std::vector<std::pair<QString, QMessageBox::Icon>> m_messages;
};

TEST_F(ViewShowTest, NormalCuePlaysOnceAndTheHighlightMovesOnWhenItEnds) {
    CQRecord* cue = Add(m_short, kNormal);
    Add(m_long, kNormal);
    CMVView& view = MakeView();

    Go({0});
    ASSERT_EQ(view.GetPlayers().size(), 1u);
    CCuePlayer* player = view.GetPlayers().front();
    EXPECT_EQ(view.GetCurrentPlayer(), player);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0}));
    // The timer runs from the first report on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.IsStatusTimerActive(); }, 2000));
    EXPECT_EQ(cue->m_nPlayCount.load(), 1);
    EXPECT_EQ(view.OnUpdateCommand(ID_AUDIO_KILL), std::optional<bool>(true));

    // Go again while it is the current player's cue: not restarted.
    Go({0});
    EXPECT_EQ(view.GetOwnedPlayerCount(), 1);

    ASSERT_TRUE(WaitForOwned(0));
    EXPECT_EQ(view.GetCurrentPlayer(), nullptr);
    EXPECT_FALSE(view.IsStatusTimerActive());
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({1}));
    ASSERT_FALSE(m_events.empty());
    EXPECT_EQ(m_events.back().what, "delete");
    ExpectFrameNeverHoldsDeletedPlayer();
}

TEST_F(ViewShowTest, MultipleCueStartsOverlappingInstancesAndKeepsTheHighlight) {
    CQRecord* cue = Add(m_long, kMultiple);
    Add(m_long, kNormal);
    CMVView& view = MakeView();

    Go({0});
    Go({0});
    EXPECT_EQ(view.GetPlayers().size(), 2u);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cue->m_nPlayCount.load() == 2; }, 2000));
    EXPECT_EQ(view.GetCurrentPlayer(), view.GetPlayers().back());

    // While a cue plays the focus may move freely: the play position keeps following it.
    QSignalSpy selection(&view, &CMVView::cueSelectionChanged);
    view.SelectRows({1}, 1);
    view.SelectRows({0}, 0);
    EXPECT_EQ(selection.count(), 0);

    view.OnCmdMsg(ID_AUDIO_STOPALL, Qt::NoModifier);
    ASSERT_TRUE(WaitForOwned(0, 2000));
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    ExpectFrameNeverHoldsDeletedPlayer();
}

TEST_F(ViewShowTest, BackgroundMovesTheHighlightAtOnceExceptFromTheLastRow) {
    Add(m_long, kBackground);
    Add(m_long, kBackground);
    CMVView& view = MakeView();

    Go({0});
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({1}));
    Go({1});
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({1}));
    EXPECT_EQ(view.GetPlayers().size(), 2u);
    view.SendToAll(ID_AUDIO_STOPALL);
    ASSERT_TRUE(WaitForOwned(0, 2000));
}

TEST_F(ViewShowTest, AutomaticRowStartsTogetherWithTheNextAndTheGroupWaitsForIt) {
    CQRecord* automatic = Add(m_long, kAutomatic);
    CQRecord* normal = Add(m_short, kNormal);
    Add(m_long, kNormal);
    Add(m_long, kAutomatic);  // the last row: a group by itself
    CMVView& view = MakeView();

    Go({0});
    ASSERT_EQ(view.GetPlayers().size(), 2u);
    EXPECT_EQ(view.GetPlayers()[0]->GetCue(), automatic);
    EXPECT_EQ(view.GetPlayers()[1]->GetCue(), normal);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0, 1}));

    // When the Normal cue ends the group after it is highlighted; the Automatic one plays on.
    ASSERT_TRUE(WaitForOwned(1));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({2}));
    EXPECT_EQ(view.GetCurrentPlayer()->GetCue(), automatic);

    // Go on the last row, Automatic: it starts and the highlight stays.
    Go({3});
    EXPECT_EQ(view.GetOwnedPlayerCount(), 2);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({3}));
    view.SendToAll(ID_AUDIO_STOPALL);
    ASSERT_TRUE(WaitForOwned(0, 2000));
    ExpectFrameNeverHoldsDeletedPlayer();
}

TEST_F(ViewShowTest, ExclusiveCueFadesOutOnlyTheCurrentPlayer) {
    CQRecord* other = Add(m_long, kBackground, 0);
    CQRecord* current = Add(m_long, kBackground, 0);
    CQRecord* exclusive = Add(m_long, kNormal | kExclusive);
    CMVView& view = MakeView();

    Go({0});
    Go({1});
    ASSERT_TRUE(WaitForCurrent(view.GetPlayers().back()));
    ASSERT_EQ(view.GetCurrentPlayer()->GetCue(), current);

    Go({2});
    // The current player falls silent at once (fade-out time 0) and ends within a tick.
    ASSERT_TRUE(QTest::qWaitFor([&] { return current->m_nPlayCount.load() == 0; }, 2000));
    ASSERT_TRUE(WaitForOwned(2));
    EXPECT_EQ(other->m_nPlayCount.load(), 1);
    EXPECT_EQ(exclusive->m_nPlayCount.load(), 1);
    EXPECT_EQ(view.GetCurrentPlayer()->GetCue(), exclusive);
    view.SendToAll(ID_AUDIO_STOPALL);
    ASSERT_TRUE(WaitForOwned(0, 2000));
}

TEST_F(ViewShowTest, ShiftSendsToTheOthersAndCtrlToAll) {
    for (int i = 0; i < 4; ++i) Add(m_long, kNormal | kLooped);
    CMVView& view = MakeView();

    Go({0, 1, 2});
    ASSERT_EQ(view.GetPlayers().size(), 3u);
    // The first started is current at once; the reports make the newest current.
    const std::vector<CCuePlayer*> started = view.GetPlayers();
    ASSERT_TRUE(WaitForCurrent(started[2]));

    // Plain K: the current player only; the newest remaining one takes over.
    view.OnCmdMsg(ID_AUDIO_KILL, Qt::NoModifier);
    ASSERT_TRUE(WaitForOwned(2, 2000));
    EXPECT_EQ(view.GetPlayers(), std::vector<CCuePlayer*>({started[0], started[1]}));
    EXPECT_EQ(view.GetCurrentPlayer(), started[1]);

    // Shift (also with Ctrl): everyone but the current player.
    view.OnCmdMsg(ID_AUDIO_KILL, Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_TRUE(WaitForOwned(1, 2000));
    EXPECT_EQ(view.GetPlayers(), std::vector<CCuePlayer*>({started[1]}));

    // Ctrl: all of them.
    Go({3});
    ASSERT_EQ(view.GetPlayers().size(), 2u);
    view.OnCmdMsg(ID_AUDIO_KILL, Qt::ControlModifier);
    ASSERT_TRUE(WaitForOwned(0, 2000));
    EXPECT_EQ(view.GetCurrentPlayer(), nullptr);
    ASSERT_FALSE(m_events.empty());
    EXPECT_EQ(m_events.back().what, "delete");
    ExpectFrameNeverHoldsDeletedPlayer();
    for (CQRecord* cue : m_doc->GetCues()) EXPECT_EQ(cue->m_nPlayCount.load(), 0);
}

TEST_F(ViewShowTest, FadedPlayerLeavesTheListButIsDeletedWhenItEnds) {
    CQRecord* cue = Add(m_long, kNormal | kLooped, 300);
    Add(m_long, kNormal);
    CMVView& view = MakeView();

    Go({0});
    ASSERT_TRUE(WaitForCurrent(view.GetPlayers().front()));
    view.OnCmdMsg(ID_AUDIO_FADEOUT, Qt::NoModifier);

    // Past -40 dB: no longer listed or current, the highlight moves on, still sounding.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.GetPlayers().empty(); }, 3000));
    if (view.GetOwnedPlayerCount() == 1) {
        EXPECT_EQ(view.GetCurrentPlayer(), nullptr);
        EXPECT_EQ(view.OnUpdateCommand(ID_AUDIO_STOPALL), std::optional<bool>(false));
    }
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({1}));

    // It still ends by itself and is deleted then.
    ASSERT_TRUE(WaitForOwned(0, 3000));
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    ExpectFrameNeverHoldsDeletedPlayer();
}

TEST_F(ViewShowTest, AFadedNormalCueMovesTheHighlightOnlyOnce) {
    CQRecord* cue = Add(m_long, kNormal | kLooped, 1000);
    Add(m_long, kNormal);
    CMVView& view = MakeView();

    Go({0});
    ASSERT_TRUE(WaitForCurrent(view.GetPlayers().front()));
    view.OnCmdMsg(ID_AUDIO_FADEOUT, Qt::NoModifier);
    // Past -40 dB after 1 s the highlight moves on; the tail sounds for another half second.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.GetPlayers().empty(); }, 3000));
    ASSERT_EQ(view.GetOwnedPlayerCount(), 1);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({1}));

    // The operator starts the cue again while the old one still fades: the highlight stays on
    // it until the new one ends, not when the old one does.
    Go({0});
    ASSERT_EQ(view.GetOwnedPlayerCount(), 2);
    ASSERT_TRUE(WaitForOwned(1, 3000));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0}));
    EXPECT_EQ(cue->m_nPlayCount.load(), 1);
    view.SendToAll(ID_AUDIO_STOPALL);
    ASSERT_TRUE(WaitForOwned(0, 2000));
    ExpectFrameNeverHoldsDeletedPlayer();
}

TEST_F(ViewShowTest, DestroyingTheViewStopsEveryPlayerIncludingFadedOnes) {
    CQRecord* fading = Add(m_long, kNormal | kLooped, 2000);
    CQRecord* playing = Add(m_long, kBackground | kLooped);
    CMVView& view = MakeView();

    Go({0});
    ASSERT_TRUE(WaitForCurrent(view.GetPlayers().front()));
    view.OnCmdMsg(ID_AUDIO_FADEOUT, Qt::NoModifier);
    Go({1});
    // Fade-out of 2 s: past -40 dB after 2 s, over after 3 s.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.GetPlayers().size() == 1; }, 4000));
    ASSERT_EQ(view.GetOwnedPlayerCount(), 2);

    m_view.reset();
    // Every worker has ended and given back its play count.
    EXPECT_EQ(fading->m_nPlayCount.load(), 0);
    EXPECT_EQ(playing->m_nPlayCount.load(), 0);
    // Reports still queued for the deleted view go nowhere.
    QTest::qWait(50);
}

TEST_F(ViewShowTest, RecordsAreNeverDestroyedUnderTheirPlayers) {
    CQRecord* first = Add(m_long, kBackground);
    Add(m_long, kBackground);
    Add(m_long, kNormal);
    CMVView& view = MakeView();

    Go({0});
    Go({1});
    ASSERT_TRUE(WaitForCurrent(view.GetPlayers().back()));
    CCuePlayer* survivor = view.GetPlayers().back();

    // Deleting one cue stops its player first; its row goes with it.
    m_doc->DeleteCue(0);
    EXPECT_EQ(view.FindRow(first), -1);
    EXPECT_EQ(view.GetOwnedPlayerCount(), 1);
    EXPECT_EQ(view.GetCurrentPlayer(), survivor);

    // A new document stops everything; the frame hears "nobody" before any deletion.
    const size_t before = m_events.size();
    m_doc->OnNewDocument();
    EXPECT_EQ(view.GetOwnedPlayerCount(), 0);
    EXPECT_EQ(view.GetRowCount(), 0);
    ASSERT_GE(m_events.size(), before + 2);
    EXPECT_EQ(m_events[before].what, "status");
    EXPECT_EQ(m_events[before].player, nullptr);
    ExpectFrameNeverHoldsDeletedPlayer();
    QTest::qWait(100);  // late reports of the stopped players are ignored
    EXPECT_EQ(view.GetOwnedPlayerCount(), 0);
}

TEST_F(ViewShowTest, FailedPlayerShowsItsMessageAndTheSequenceGoesOn) {
    Add(m_dir.filePath("missing.wav"), kBackground);
    Add(m_long, kNormal);
    CMVView& view = MakeView();

    Go({0});
    EXPECT_EQ(view.GetOwnedPlayerCount(), 0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_FALSE(m_messages[0].first.isEmpty());
    EXPECT_EQ(m_messages[0].second, QMessageBox::NoIcon);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({1}));
}

TEST_F(ViewShowTest, StartPositionAppliesOnlyWhileNothingPlays) {
    Add(m_long, kBackground);
    Add(m_long, kBackground);
    CMVView& view = MakeView();
    int asked = 0;
    view.SetStartPositionSource([&asked] {
        ++asked;
        return 50;
    });

    Go({0});
    ASSERT_EQ(view.GetPlayers().size(), 1u);
    // Half of 4 s, plus the first buffer read ahead.
    EXPECT_GE(view.GetPlayers()[0]->GetElapsedMs(), 1900u);
    Go({1});
    ASSERT_EQ(view.GetPlayers().size(), 2u);
    EXPECT_LT(view.GetPlayers()[1]->GetElapsedMs(), 1000u);
    EXPECT_EQ(asked, 2);
    view.SendToAll(ID_AUDIO_STOPALL);
    ASSERT_TRUE(WaitForOwned(0, 2000));
}

TEST_F(ViewShowTest, TimerReportsTheCurrentPlayerAboutFiftyTimesASecondWhilePlaying) {
    Add(m_long, kNormal);
    CMVView& view = MakeView();
    Go({0});
    CCuePlayer* player = view.GetPlayers().front();
    ASSERT_TRUE(WaitForCurrent(player));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.IsStatusTimerActive(); }, 2000));
    const size_t before = m_events.size();
    QTest::qWait(300);
    size_t reports = 0;
    for (size_t i = before; i < m_events.size(); ++i) {
        EXPECT_EQ(m_events[i].player, player);
        ++reports;
    }
    // 15 at 20 ms; a loaded machine drops some ticks.
    EXPECT_GE(reports, 5u);
    EXPECT_LE(reports, 16u);

    view.SendToAll(ID_AUDIO_STOPALL);
    ASSERT_TRUE(WaitForOwned(0, 2000));
    const size_t idle = m_events.size();
    QTest::qWait(100);
    EXPECT_EQ(m_events.size(), idle);
}

TEST_F(ViewShowTest, CueWithoutSoundEndsWithoutTrouble) {
    const QString empty = m_dir.filePath("empty.wav");
    ASSERT_TRUE(viewtest::WriteTone(empty, 0));
    Add(empty, kNormal);
    Add(m_long, kNormal);
    CMVView& view = MakeView();
    // Every report the frame gets of this player must give it times it can show.
    QObject::connect(&view, &CMVView::cueStatus, &view, [](CCuePlayer* p) {
        if (p == nullptr) return;
        EXPECT_EQ(p->GetDurationMs(), 0u);
        EXPECT_EQ(p->GetElapsedMs(), 0u);
    });
    Go({0});
    ASSERT_TRUE(WaitForOwned(0, 2000));
    EXPECT_EQ(view.GetCurrentPlayer(), nullptr);
    EXPECT_EQ(m_doc->GetCue(0)->m_nPlayCount.load(), 0);
    ExpectFrameNeverHoldsDeletedPlayer();
}

}  // namespace

// ---- Show actions and cues by name --------------------------------------------------------

TEST_F(ViewShowTest, ShowActionsReportWhatWasDoneWithItsCuesAndSource) {
    CQRecord* first = Add(m_long, kBackground);
    first->SetID("Q010");
    CQRecord* second = Add(m_long, kNormal);
    second->SetID("Q020");
    CMVView& view = MakeView();
    std::vector<ShowAction> actions;
    QObject::connect(&view, &CMVView::showAction, &view,
                     [&](const ShowAction& a) { actions.push_back(a); });

    view.SelectRows({0}, 0);
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_GO, Qt::NoModifier, CommandSource::FromOsc("10.0.0.5")));
    view.SelectRows({1}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_GO, Qt::NoModifier));
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].kind, ShowAction::Kind::Go);
    ASSERT_EQ(actions[0].cues.size(), 1);
    EXPECT_EQ(actions[0].cues[0].id, QStringLiteral("Q010"));
    EXPECT_TRUE(actions[0].cues[0].started);
    EXPECT_EQ(actions[0].source.LogText(), QStringLiteral("osc 10.0.0.5"));
    EXPECT_TRUE(actions[0].source.IsRemote());
    EXPECT_EQ(actions[1].source.LogText(), QStringLiteral("key"));

    // Shift: the other players, not the current one (Q020).
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_VOLDOWN, Qt::ShiftModifier, CommandSource::FromMidi()));
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[2].kind, ShowAction::Kind::Live);
    EXPECT_EQ(actions[2].target, ShowAction::Target::Others);
    EXPECT_EQ(actions[2].LogName(), QStringLiteral("VOLUME_DOWN"));
    ASSERT_EQ(actions[2].cues.size(), 1);
    EXPECT_EQ(actions[2].cues[0].id, QStringLiteral("Q010"));

    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_STOPALL, Qt::NoModifier, CommandSource::FromButton()));
    ASSERT_EQ(actions.size(), 4u);
    EXPECT_EQ(actions[3].LogName(), QStringLiteral("STOP_ALL"));
    EXPECT_EQ(actions[3].cues.size(), 2);
    EXPECT_EQ(actions[3].source.LogText(), QStringLiteral("button"));
    ASSERT_TRUE(WaitForOwned(0, 3000));

    // A disabled command is neither carried out nor reported.
    EXPECT_TRUE(view.OnCmdMsg(ID_AUDIO_KILL, Qt::NoModifier));
    EXPECT_EQ(actions.size(), 4u);
}

TEST_F(ViewShowTest, GoReportsACueWhosePlayerFailedAsNotStarted) {
    CQRecord* missing = Add(m_dir.filePath("missing.wav"), kNormal);
    missing->SetID("Q030");
    CMVView& view = MakeView();
    std::vector<ShowAction> actions;
    QObject::connect(&view, &CMVView::showAction, &view,
                     [&](const ShowAction& a) { actions.push_back(a); });
    Go({0});
    ASSERT_EQ(actions.size(), 1u);
    ASSERT_EQ(actions[0].cues.size(), 1);
    EXPECT_FALSE(actions[0].cues[0].started);
}

TEST_F(ViewShowTest, CuesByNameStartStopAndSelectWithoutTouchingOthers) {
    CQRecord* a = Add(m_long, kNormal);
    a->SetID("Q010");
    CQRecord* b = Add(m_long, kNormal, 300);
    b->SetID("q020a");
    CQRecord* c = Add(m_long, kMultiple);
    c->SetID("Q030");
    CMVView& view = MakeView();

    EXPECT_EQ(view.FindCueById("Q020A"), b);
    EXPECT_EQ(view.FindCueById("q010"), a);
    EXPECT_EQ(view.FindCueById("Q02"), nullptr);
    EXPECT_EQ(view.FindCueById(QString()), nullptr);

    view.SelectRows({0}, 0);
    ASSERT_TRUE(view.StartCue(b, CommandSource::FromOsc("127.0.0.1")));
    // The highlight stays where the operator left it; the started cue is the current one.
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0}));
    ASSERT_EQ(view.GetPlayers().size(), 1u);
    EXPECT_EQ(view.GetCurrentPlayer()->GetCue(), b);
    // The current cue is not started again (as at Go); a Multiple cue is.
    EXPECT_FALSE(view.StartCue(b));
    ASSERT_TRUE(view.StartCue(c));
    ASSERT_TRUE(view.StartCue(c));
    EXPECT_EQ(view.GetPlayers().size(), 3u);

    // Killing the Multiple cue by name reaches both its players and nothing else.
    EXPECT_EQ(view.KillCue(c), 2);
    EXPECT_EQ(view.KillCue(a), 0);
    ASSERT_TRUE(WaitForOwned(1, 3000));
    EXPECT_EQ(view.GetPlayers().front()->GetCue(), b);

    // One player by itself; a player the view no longer lists is refused.
    CCuePlayer* player = view.GetPlayers().front();
    EXPECT_TRUE(view.FadeOutPlayer(player));
    EXPECT_FALSE(view.KillPlayer(nullptr));

    ASSERT_TRUE(view.SelectCue(c));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({2}));
    EXPECT_EQ(view.currentIndex().row(), 2);
    view.SendToAll(ID_AUDIO_STOPALL);
    ASSERT_TRUE(WaitForOwned(0, 8000));
}
