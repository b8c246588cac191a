// Live safety in the view: the double-Go guard, Fade All, one cue stopped or faded by itself,
// and a cue that fails to start while others sound.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <memory>
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
constexpr uint32_t kMultiple = CQRecord::kTypeMultiple;
constexpr uint32_t kLooped = CQRecord::kFlagLooped;

class ViewLiveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_tone = m_dir.filePath("tone.wav");
        ASSERT_TRUE(viewtest::WriteTone(m_tone, 4000));
        m_doc = std::make_unique<CMVDoc>();
        m_doc->OnNewDocument();
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon, QMessageBox::StandardButtons) {
                m_messages.push_back(text);
                return int(QMessageBox::Ok);
            });
    }

    void TearDown() override {
        m_view.reset();
        mvui::SetMessageHandlerForTesting({});
    }

    CQRecord* Add(const QString& id, uint32_t flags, const QString& path = QString()) {
        CQRecord* cue = viewtest::AddCue(*m_doc, path.isEmpty() ? m_tone : path, flags, 3000);
        cue->SetID(id.toUtf8());
        return cue;
    }

    CMVView& MakeView() {
        m_view = std::make_unique<CMVView>(m_doc.get());
        m_view->OnInitialUpdate();
        m_view->show();
        QObject::connect(m_view.get(), &CMVView::showAction, m_view.get(),
                         [this](const ShowAction& a) { m_actions.push_back(a); });
        return *m_view;
    }

    bool Go(int row) {
        m_view->SelectRows({row}, row);
        return m_view->OnCmdMsg(ID_AUDIO_GO, Qt::NoModifier, CommandSource::FromButton());
    }

    bool WaitForOwned(int count, int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return m_view->GetOwnedPlayerCount() == count; }, timeoutMs);
    }

    QTemporaryDir m_dir;
    QString m_tone;
    std::unique_ptr<CMVDoc> m_doc;
    std::unique_ptr<CMVView> m_view;
    std::vector<ShowAction> m_actions;
    QStringList m_messages;
};

TEST_F(ViewLiveTest, DoubleGoGuardRefusesAGoInsideTheWindowOnly) {
    Add("Q1", kMultiple | kLooped);
    CMVView& view = MakeView();
    qint64 now = 1000;
    view.GetDoubleGoGuard().SetClock([&] { return now; });

    // Off (the default): two Goes a millisecond apart both count.
    ASSERT_TRUE(Go(0));
    now += 1;
    ASSERT_TRUE(Go(0));
    EXPECT_EQ(view.GetOwnedPlayerCount(), 2);

    view.SetDoubleGoMs(300);
    now += 1000;
    ASSERT_TRUE(Go(0));
    EXPECT_EQ(view.GetOwnedPlayerCount(), 3);
    now += 299;  // N - 1
    ASSERT_TRUE(Go(0));
    EXPECT_EQ(view.GetOwnedPlayerCount(), 3);
    ASSERT_EQ(m_actions.back().kind, ShowAction::Kind::GoIgnored);
    ASSERT_EQ(m_actions.back().cues.size(), 1);
    EXPECT_EQ(m_actions.back().cues[0].id, QStringLiteral("Q1"));
    EXPECT_EQ(m_actions.back().source.LogText(), QStringLiteral("button"));
    // The ignored press does not start a new window: N + 1 after the accepted Go counts.
    now += 2;
    ASSERT_TRUE(Go(0));
    EXPECT_EQ(view.GetOwnedPlayerCount(), 4);
    EXPECT_EQ(m_actions.back().kind, ShowAction::Kind::Go);
    view.StopAllPlayers();
}

TEST_F(ViewLiveTest, FadeAllReachesEveryCueAndASecondPressStopsAtOnce) {
    Add("A", kNormal | kLooped);
    Add("B", kNormal | kLooped);
    CMVView& view = MakeView();
    EXPECT_EQ(view.OnUpdateCommand(ID_AUDIO_FADEALL), std::optional<bool>(false));
    ASSERT_TRUE(Go(0));
    ASSERT_TRUE(Go(1));
    // One of them is fading out by itself already: Fade All takes it too.
    ASSERT_TRUE(view.FadeOutPlayer(view.GetPlayers().front()));
    EXPECT_EQ(view.OnUpdateCommand(ID_AUDIO_FADEALL), std::optional<bool>(true));

    view.SetFadeAllMs(1500);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_FADEALL, Qt::NoModifier, CommandSource::FromKey()));
    EXPECT_TRUE(view.IsFadingAll());
    EXPECT_EQ(m_actions.back().kind, ShowAction::Kind::FadeAll);
    EXPECT_EQ(m_actions.back().cues.size(), 2);
    // Volume keys cannot hold the fade.
    view.OnCmdMsg(ID_AUDIO_VOLUP, Qt::ControlModifier);
    ASSERT_TRUE(WaitForOwned(0, 5000));
    EXPECT_GT(clock.elapsed(), 1200);  // both lasted about the Fade All time
    EXPECT_FALSE(view.IsFadingAll());

    // Again, with a long fade, pressed twice: the second press ends everything at once.
    ASSERT_TRUE(Go(0));
    ASSERT_TRUE(Go(1));
    view.SetFadeAllMs(20000);
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_FADEALL, Qt::NoModifier));
    QTest::qWait(200);
    clock.restart();
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_FADEALL, Qt::NoModifier));
    EXPECT_EQ(m_actions.back().kind, ShowAction::Kind::StopAll);
    for (CCuePlayer* player : view.GetOwnedPlayers()) EXPECT_EQ(player->GetLevel(), -10000);
    ASSERT_TRUE(WaitForOwned(0, 2000));
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(ViewLiveTest, OneCueStoppedOrFadedByItsOwnButtonLeavesTheOthersAndTheHighlight) {
    Add("A", kNormal | kLooped)->m_dwFadeOut = 600;
    Add("B", kNormal | kLooped);
    Add("C", kNormal | kLooped);
    Add("D", kNormal);
    CMVView& view = MakeView();
    ASSERT_TRUE(Go(0));
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(Go(2));
    view.SelectRows({3}, 3);
    const std::vector<CCuePlayer*> owned = view.GetOwnedPlayers();  // newest first: C, B, A
    ASSERT_EQ(owned.size(), 3u);
    EXPECT_EQ(owned[0]->GetCue()->m_strID, QByteArray("C"));

    ASSERT_TRUE(view.KillOwnedPlayer(owned[1], CommandSource::FromButton()));
    EXPECT_EQ(m_actions.back().kind, ShowAction::Kind::KillCue);
    ASSERT_TRUE(view.FadeOutPlayer(owned[2], CommandSource::FromButton()));
    ASSERT_TRUE(WaitForOwned(2, 3000));
    EXPECT_EQ(owned[0]->GetLevel(), 0);  // C untouched
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({3}));
    // A fading player is still stopped by its own Stop button.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.IsPlayerListed(owned[2]); }, 3000));
    ASSERT_TRUE(view.KillOwnedPlayer(owned[2]));
    ASSERT_TRUE(WaitForOwned(1, 3000));
    EXPECT_EQ(view.GetOwnedPlayers().front(), owned[0]);
    EXPECT_FALSE(view.KillOwnedPlayer(owned[1]));  // gone
    view.StopAllPlayers();
}

TEST_F(ViewLiveTest, AFailureWhileCuesSoundIsToldWithoutABox) {
    Add("Q1", kNormal | kLooped);
    Add("Q2", kNormal, m_dir.filePath("missing.wav"));
    CMVView& view = MakeView();
    QStringList failures;
    QObject::connect(&view, &CMVView::startFailed, &view,
                     [&](const QString& id, const QString& file, const QString& message) {
                         failures << id + QLatin1Char('|') + file + QLatin1Char('|') + message;
                     });

    // Nothing sounds: the box, as always.
    ASSERT_TRUE(Go(1));
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(failures.isEmpty());

    ASSERT_TRUE(Go(0));
    ASSERT_TRUE(Go(1));
    EXPECT_EQ(m_messages.size(), 1);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].startsWith(QStringLiteral("Q2|missing.wav|Cannot open WAV file")))
        << failures[0].toStdString();
    // The live keys still reach the cue that plays.
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_STOPALL, Qt::NoModifier));
    ASSERT_TRUE(WaitForOwned(0, 3000));
}

}  // namespace
