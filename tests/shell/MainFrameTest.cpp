#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>
#include <climits>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "shell/AppSettings.h"
#include "shell/CMainFrame.h"
#include "shell/CPositionBar.h"
#include "shell/FrameFixture.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

namespace {

TEST(TimeToGo, WholeSecondsWithMinutesUnlimited) {
    EXPECT_EQ(CMainFrame::FormatTimeToGo(0), "TTG:00.00");
    EXPECT_EQ(CMainFrame::FormatTimeToGo(999), "TTG:00.00");  // the remainder is dropped
    EXPECT_EQ(CMainFrame::FormatTimeToGo(59999), "TTG:00.59");
    EXPECT_EQ(CMainFrame::FormatTimeToGo(61000), "TTG:01.01");
    EXPECT_EQ(CMainFrame::FormatTimeToGo(6001000), "TTG:100.01");
}

TEST(TimeToGo, ThumbPositionNeverDividesByZeroNorWraps) {
    EXPECT_EQ(CMainFrame::PositionOf(0, 0, 100), 0);
    EXPECT_EQ(CMainFrame::PositionOf(500, 0, 100), 0);
    EXPECT_EQ(CMainFrame::PositionOf(1999, 4000, 100), 49);
    EXPECT_EQ(CMainFrame::PositionOf(4000, 4000, 100), 100);
    // Ten hours into a twelve-hour file: 100 x elapsed does not fit in 32 bits.
    EXPECT_EQ(CMainFrame::PositionOf(36000000u, 43200000u, 100), 83);
    EXPECT_EQ(CMainFrame::PositionOf(5000, 4000, 100), 100);
}

class MainFrameTest : public FrameFixture {
protected:
    MainFrameTest() : FrameFixture(2500, QMessageBox::Ok) {}
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    // Highlights the first row and starts `cue` as the frame's current player, as Go would;
    // null when the player failed.
    std::unique_ptr<CCuePlayer> StartCurrent(CMainFrame& frame, CQRecord* cue) {
        frame.GetView()->SelectRows({0}, 0);
        frame.UpdateCommandUI();
        auto player = std::make_unique<CCuePlayer>(cue, 0, std::weak_ptr<IPlayerStatusReceiver>{});
        if (player->IsFailed()) return nullptr;
        player->Start();
        frame.OnCueStatus(player.get());
        return player;
    }

    CQRecord* AddTone(const char* description) {
        CQRecord* cue = viewtest::AddCue(*m_doc, m_tone, CQRecord::kTypeNormal);
        cue->m_strDescription = description;
        return cue;
    }
};

TEST_F(MainFrameTest, StartsIdleWithTitleAndCueCount) {
    AddTone("Bell");
    AddTone("Rain");
    CMainFrame& frame = MakeFrame();
    // Two cues added and never saved: the title says so.
    EXPECT_EQ(frame.windowTitle(), "Untitled* - Marvane");
    EXPECT_EQ(frame.GetPaneText(0), "For Help, press F1");
    EXPECT_EQ(frame.GetPaneText(1), "");
    EXPECT_FALSE(frame.IsTimeToGoEnabled());
    EXPECT_EQ(frame.GetPaneText(2), "Cues:002");
    EXPECT_EQ(frame.GetPositionSlider()->minimum(), 0);
    EXPECT_EQ(frame.GetPositionSlider()->maximum(), 100);
    EXPECT_EQ(frame.GetPositionSlider()->pageStep(), 10);
    EXPECT_EQ(frame.GetPositionSlider()->value(), 0);
}

TEST_F(MainFrameTest, StatusOfPlayerAndOfNobody) {
    CQRecord* cue = AddTone("Thunder");
    CMainFrame& frame = MakeFrame();
    CCuePlayer player(cue, 0, {});
    ASSERT_FALSE(player.IsFailed());

    frame.OnCueStatus(&player);
    EXPECT_EQ(frame.GetPaneText(0), "Playing: Thunder");
    EXPECT_EQ(frame.GetPaneText(1), "TTG:00.02");
    EXPECT_TRUE(frame.IsTimeToGoEnabled());
    EXPECT_EQ(frame.GetCurrentPlayer(), &player);

    frame.OnCueStatus(nullptr);
    EXPECT_EQ(frame.GetPaneText(0), "For Help, press F1");
    EXPECT_EQ(frame.GetPaneText(1), "");
    EXPECT_EQ(frame.GetPositionSlider()->value(), 0);
    EXPECT_EQ(frame.GetCurrentPlayer(), nullptr);
}

TEST_F(MainFrameTest, DescriptionIsShownAsItIsNeverAsMarkup) {
    CQRecord* cue = AddTone("<b>Thunder</b> &amp; rain");
    CMainFrame& frame = MakeFrame();
    CCuePlayer player(cue, 0, {});
    ASSERT_FALSE(player.IsFailed());
    frame.OnCueStatus(&player);
    const QString shown = "Playing: <b>Thunder</b> &amp; rain";
    EXPECT_EQ(frame.GetPaneText(0), shown);
    // Read as markup the pane would show "Playing: Thunder & rain", tags gone, in less room.
    auto* pane = frame.findChild<QLabel*>("PromptPane");
    ASSERT_NE(pane, nullptr);
    EXPECT_GE(pane->sizeHint().width(), QFontMetrics(pane->font()).horizontalAdvance(shown));
}

TEST_F(MainFrameTest, MessageBoxesShowFileNamesAsTheyAre) {
    CMainFrame& frame = MakeFrame();
    mvui::SetMessageHandlerForTesting({});
    const QString text = "Cannot open <b>Act 1</b> &amp; 2.wav";
    int labelWidth = -1;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (auto* label = box->findChild<QLabel*>("qt_msgbox_label"))
            labelWidth = label->sizeHint().width();
        box->accept();
    });
    mvui::ShowMessage(&frame, text, QMessageBox::NoIcon);
    // Read as markup the name would lose its tags and entities, in less room.
    EXPECT_GE(labelWidth, QFontMetrics(frame.font()).horizontalAdvance(text));
}

TEST_F(MainFrameTest, ThumbHeldByOperatorIsNotMovedAndSeeksOnceAtTheEnd) {
    CQRecord* cue = AddTone("Wind");
    CMainFrame& frame = MakeFrame();
    const std::unique_ptr<CCuePlayer> player = StartCurrent(frame, cue);
    ASSERT_TRUE(player);
    QSlider* slider = frame.GetPositionSlider();
    ASSERT_TRUE(slider->isEnabled());

    // The operator presses End on the trackbar: the thumb goes to 100 and stays there while
    // status reports come in, and the cue does not move yet.
    slider->setFocus();
    QTest::keyPress(slider, Qt::Key_End);
    EXPECT_TRUE(frame.IsTracking());
    EXPECT_EQ(slider->value(), 100);
    frame.OnCueStatus(player.get());
    EXPECT_EQ(slider->value(), 100);
    EXPECT_LT(player->GetElapsedMs(), 1500u);

    // Letting go of the key seeks the cue to its end, once; the thumb follows the cue again.
    slider->setValue(60);
    QTest::keyRelease(slider, Qt::Key_End);
    EXPECT_FALSE(frame.IsTracking());
    EXPECT_NEAR(player->GetElapsedMs(), 1500.0, 300.0);
    frame.OnCueStatus(player.get());
    EXPECT_NEAR(slider->value(), 60, 10);

    // A report of nobody resets the panes and the thumb even in the middle of an interaction.
    frame.OnHScroll(CPositionBar::kThumbTrack, 30, slider);
    frame.OnCueStatus(nullptr);
    EXPECT_EQ(slider->value(), 0);
    EXPECT_EQ(frame.GetPaneText(0), "For Help, press F1");
    frame.OnHScroll(CPositionBar::kEndScroll, 0, slider);
}

TEST_F(MainFrameTest, PositionBarReportsEveryStepAndOneEnd) {
    qRegisterMetaType<QSlider*>();
    MakeFrame();
    CPositionBar bar;
    QSlider* slider = bar.GetSlider();
    slider->setRange(0, 100);
    slider->setPageStep(10);
    bar.show();
    QSignalSpy spy(&bar, &CPositionBar::hScroll);
    QTest::keyPress(slider, Qt::Key_Right);
    QTest::keyPress(slider, Qt::Key_PageUp);
    QTest::keyRelease(slider, Qt::Key_PageUp);
    ASSERT_EQ(spy.size(), 3);
    EXPECT_EQ(spy[0][0].toInt(), CPositionBar::kLineDown);
    EXPECT_EQ(spy[1][0].toInt(), CPositionBar::kPageDown);
    EXPECT_EQ(spy[2][0].toInt(), CPositionBar::kEndScroll);
    EXPECT_EQ(spy[2][1].toInt(), 11);

    // A click in the channel moves by a page toward the click; releasing the button ends it.
    spy.clear();
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() - 3, slider->height() / 2));
    ASSERT_GE(spy.size(), 2);
    EXPECT_EQ(spy.first()[0].toInt(), CPositionBar::kPageDown);
    EXPECT_EQ(spy.last()[0].toInt(), CPositionBar::kEndScroll);
    EXPECT_EQ(slider->value(), 21);

    // A disabled trackbar ignores the operator.
    spy.clear();
    slider->setEnabled(false);
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(spy.size(), 0);
    EXPECT_EQ(slider->value(), 21);
}

TEST_F(MainFrameTest, InteractionCutShortStillEndsSoThePanesFollowTheCueAgain) {
    CQRecord* cue = AddTone("Wind");
    CMainFrame& frame = MakeFrame();
    CMVView* view = frame.GetView();
    const std::unique_ptr<CCuePlayer> player = StartCurrent(frame, cue);
    ASSERT_TRUE(player);
    QSlider* slider = frame.GetPositionSlider();

    // An arrow key held on the trackbar when a report gives the focus back to the list: its
    // release goes to the list, but the interaction ends there and then, seeking once.
    slider->setFocus();
    QTest::keyPress(slider, Qt::Key_End);
    ASSERT_TRUE(frame.IsTracking());
    slider->setValue(60);
    view->setFocus();
    EXPECT_FALSE(frame.IsTracking());
    EXPECT_NEAR(player->GetElapsedMs(), 1500.0, 300.0);

    // The key's repeats now reaching the list do not move the highlight of the next cue; a
    // press of the list's own does.
    AddTone("Rain");
    view->FillList();
    view->SelectRows({1}, 1);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(view, &repeat);
    EXPECT_TRUE(view->IsRowSelected(1));
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_TRUE(view->IsRowSelected(0));
    EXPECT_FALSE(view->IsRowSelected(1));

    // A mouse drag of the thumb cut short by the trackbar being disabled ends as well.
    frame.OnCueStatus(player.get());
    slider->setEnabled(true);
    QTest::mousePress(slider, Qt::LeftButton, {},
                      QPoint(slider->width() - 3, slider->height() / 2));
    ASSERT_TRUE(frame.IsTracking());
    frame.OnEnablePosition(false);
    EXPECT_FALSE(frame.IsTracking());
    frame.OnCueStatus(player.get());
    EXPECT_EQ(frame.GetPaneText(0), "Playing: Wind");
}

TEST_F(MainFrameTest, WheelOverTheTrackbarIsAWholeInteraction) {
    CQRecord* cue = AddTone("Surf");
    CMainFrame& frame = MakeFrame();
    const std::unique_ptr<CCuePlayer> player = StartCurrent(frame, cue);
    ASSERT_TRUE(player);
    QSlider* slider = frame.GetPositionSlider();
    ASSERT_TRUE(slider->isEnabled());
    slider->setValue(50);

    // A turn of the wheel over the trackbar has no release to wait for: the cue jumps at once
    // and the panes and the thumb follow it again.
    const QPoint centre(slider->width() / 2, slider->height() / 2);
    QWheelEvent wheel(centre, slider->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &wheel);
    EXPECT_GT(slider->value(), 50);
    EXPECT_FALSE(frame.IsTracking());
    EXPECT_NEAR(player->GetElapsedMs(), 2500.0 * slider->value() / 100, 300.0);
    frame.OnCueStatus(player.get());
    EXPECT_NEAR(slider->value(),
                CMainFrame::PositionOf(player->GetElapsedMs(), player->GetDurationMs(), 100), 2);

    // A turn while the mouse button holds the thumb belongs to that drag: it ends on release.
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(2, slider->height() / 2));
    ASSERT_TRUE(frame.IsTracking());
    QApplication::sendEvent(slider, &wheel);
    EXPECT_TRUE(frame.IsTracking());
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(2, slider->height() / 2));
    EXPECT_FALSE(frame.IsTracking());

    // A disabled trackbar ignores the wheel.
    frame.OnEnablePosition(false);
    const int before = slider->value();
    QApplication::sendEvent(slider, &wheel);
    EXPECT_EQ(slider->value(), before);
    EXPECT_FALSE(frame.IsTracking());
}

TEST_F(MainFrameTest, NothingPlayingThumbSetsStartOfNextGo) {
    AddTone("Door");
    CMainFrame& frame = MakeFrame();
    CMVView* view = frame.GetView();
    view->SelectRows({0}, 0);
    frame.UpdateCommandUI();
    ASSERT_TRUE(frame.GetPositionSlider()->isEnabled());
    frame.GetPositionSlider()->setValue(80);
    EXPECT_EQ(frame.GetStartPosition(), 80);
    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_GO, Qt::NoModifier));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.GetCurrentPlayer() != nullptr; }, 3000));
    EXPECT_GE(frame.GetCurrentPlayer()->GetElapsedMs(), 1900u);  // started at 80 % of 2.5 s
    frame.DispatchCommand(ID_AUDIO_STOPALL, Qt::NoModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetOwnedPlayerCount() == 0; }, 3000));
    EXPECT_EQ(frame.GetCurrentPlayer(), nullptr);
    EXPECT_EQ(frame.GetPaneText(1), "");
}

TEST_F(MainFrameTest, LiveKeysWorkWhateverWidgetHasTheFocus) {
    AddTone("Bell");
    CMainFrame& frame = MakeFrame();
    CMVView* view = frame.GetView();
    view->SelectRows({0}, 0);
    frame.UpdateCommandUI();

    // Enter with the focus on the position bar's trackbar still starts the cue.
    frame.GetPositionSlider()->setFocus();
    QTest::keyClick(frame.GetPositionSlider(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetOwnedPlayerCount() == 1; }, 3000));

    // Escape with the focus on the list stops everything.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetOwnedPlayerCount() == 0; }, 3000));
}

TEST_F(MainFrameTest, OpenMenuTakesTheKeysInsteadOfTheLiveCommands) {
    AddTone("Bell");
    CMainFrame& frame = MakeFrame();
    CMVView* view = frame.GetView();
    view->SelectRows({0}, 0);
    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_GO, Qt::NoModifier));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.GetCurrentPlayer() != nullptr; }, 3000));
    frame.UpdateCommandUI();

    QMenu* audio =
        frame.GetAction(ID_AUDIO_KILL)->associatedObjects().isEmpty()
            ? nullptr
            : qobject_cast<QMenu*>(frame.GetAction(ID_AUDIO_KILL)->associatedObjects()[0]);
    ASSERT_NE(audio, nullptr);
    audio->popup(frame.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_K);
    QTest::qWait(50);
    EXPECT_EQ(view->GetOwnedPlayerCount(), 1);  // the menu had the key, not Kill
    audio->close();

    QTest::keyClick(view, Qt::Key_K);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->GetOwnedPlayerCount() == 0; }, 3000));
}

TEST_F(MainFrameTest, DisabledCommandsDoNothingFromTheirKeys) {
    AddTone("Bell");
    CMainFrame& frame = MakeFrame();
    CMVView* view = frame.GetView();
    view->clearSelection();
    frame.UpdateCommandUI();
    EXPECT_FALSE(frame.IsCommandEnabled(ID_AUDIO_GO));
    EXPECT_FALSE(frame.GetAction(ID_AUDIO_GO)->isEnabled());
    EXPECT_FALSE(frame.GetPositionSlider()->isEnabled());  // usable exactly when Go is
    QTest::keyClick(view, Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_EQ(view->GetOwnedPlayerCount(), 0);
    EXPECT_FALSE(frame.DispatchCommand(ID_AUDIO_KILL));
    // Commands with no handler at all are disabled too.
    EXPECT_FALSE(frame.IsCommandEnabled(ID_CONTEXT_HELP));
}

TEST_F(MainFrameTest, ViewMenuTogglesTheBars) {
    CMainFrame& frame = MakeFrame();
    QAction* toggle = frame.GetAction(ID_VIEW_PLAYPOSITION);
    frame.UpdateCommandUI();
    EXPECT_TRUE(toggle->isChecked());
    frame.DispatchCommand(ID_VIEW_PLAYPOSITION);
    frame.UpdateCommandUI();
    EXPECT_TRUE(frame.GetPositionBand()->isHidden());
    EXPECT_FALSE(toggle->isChecked());
    // Hidden, the bar still follows the status reports.
    frame.OnSelectionChanged(40);
    frame.DispatchCommand(ID_VIEW_PLAYPOSITION);
    frame.UpdateCommandUI();
    EXPECT_FALSE(frame.GetPositionBand()->isHidden());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(frame.GetPositionSlider()->value(), 40);

    frame.DispatchCommand(ID_VIEW_TOOLBAR);
    EXPECT_TRUE(frame.GetToolBar()->isHidden());
    frame.DispatchCommand(ID_VIEW_STATUS_BAR);
    frame.UpdateCommandUI();
    EXPECT_FALSE(frame.GetAction(ID_VIEW_STATUS_BAR)->isChecked());
}

TEST_F(MainFrameTest, VolumePromptsNameTheOneDecibelStep) {
    CMainFrame& frame = MakeFrame();
    EXPECT_EQ(frame.GetAction(ID_AUDIO_VOLUP)->statusTip(), "Increase volume by 1dB");
    EXPECT_EQ(frame.GetAction(ID_AUDIO_VOLUP)->toolTip(), "Increase Volume");
    EXPECT_EQ(frame.GetAction(ID_AUDIO_VOLDOWN)->statusTip(), "Decrease volume by 1dB");
    EXPECT_EQ(frame.GetAction(ID_AUDIO_VOLDOWN)->toolTip(), "Decrease Volume");
}

TEST_F(MainFrameTest, WindowRectangleIsSavedAndRestored) {
    {
        CMainFrame& frame = MakeFrame();
        frame.setGeometry(120, 90, 640, 420);
        m_frame.reset();
    }
    QSettings settings = mvapp::OpenSettings();
    EXPECT_EQ(settings.value("MainFrame/Right").toInt() - settings.value("MainFrame/Left").toInt(),
              640);
    EXPECT_EQ(settings.value("MainFrame/Bottom").toInt() - settings.value("MainFrame/Top").toInt(),
              420);

    CMainFrame& again = MakeFrame();
    EXPECT_EQ(again.size(), QSize(640, 420));
    m_frame.reset();

    // A rectangle without width is ignored: the default size stands.
    mvapp::WriteProfileInt("MainFrame", "Left", 50);
    mvapp::WriteProfileInt("MainFrame", "Right", 50);
    auto frame = std::make_unique<CMainFrame>(m_doc.get(), nullptr);
    EXPECT_FALSE(frame->RestoreWindowRect());
    EXPECT_NE(frame->width(), 0);

    // Nor is one that no screen shows: the window would be lost.
    mvapp::WriteProfileInt("MainFrame", "Left", -32000);
    mvapp::WriteProfileInt("MainFrame", "Right", -31840);
    mvapp::WriteProfileInt("MainFrame", "Top", -32000);
    mvapp::WriteProfileInt("MainFrame", "Bottom", -31970);
    EXPECT_FALSE(frame->RestoreWindowRect());
    EXPECT_GT(frame->x(), -1000);

    // Absurd numbers from a damaged or hand-edited settings file: no overflow, no window larger
    // than every screen together, and the default size stands.
    const QSize before = frame->size();
    const struct {
        int left, top, right, bottom;
    } absurd[] = {
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, INT_MAX, INT_MAX},     {0, 0, 2000000000, 300},
        {INT_MAX, 0, INT_MIN, 300},           {-100, -100, 100000, 100000},
    };
    for (const auto& r : absurd) {
        mvapp::WriteProfileInt("MainFrame", "Left", r.left);
        mvapp::WriteProfileInt("MainFrame", "Top", r.top);
        mvapp::WriteProfileInt("MainFrame", "Right", r.right);
        mvapp::WriteProfileInt("MainFrame", "Bottom", r.bottom);
        EXPECT_FALSE(frame->RestoreWindowRect()) << r.left << " " << r.right;
        EXPECT_EQ(frame->size(), before);
    }
}

TEST_F(MainFrameTest, HelpWithoutItsPagesSaysSoInsteadOfDoingNothing) {
    // The test program has no help pages beside it, as a broken installation would not.
    CMainFrame& frame = MakeFrame();
    QStringList shown;
    mvui::SetMessageHandlerForTesting(
        [&shown](const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons) {
            EXPECT_EQ(icon, QMessageBox::Warning);
            shown << text;
            return int(QMessageBox::Ok);
        });
    frame.GetAction(ID_HELP_FINDER)->trigger();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], "The help pages of Marvane are not installed.");
}

}  // namespace

namespace {

TEST_F(MainFrameTest, UndoAndRedoByMenuAndKeysNameTheEditAndTheTitleShowsUnsavedChanges) {
    for (const char* name : {"A", "B", "C", "D"}) AddTone(name);
    m_doc->SetModifiedFlag(false);
    CMainFrame& frame = MakeFrame();
    QMenu* edit = frame.menuBar()->findChildren<QMenu*>().value(1);
    ASSERT_NE(edit, nullptr);
    ASSERT_GE(edit->actions().size(), 3);
    EXPECT_EQ(edit->actions().value(0), frame.GetAction(ID_EDIT_UNDO));
    EXPECT_EQ(edit->actions().value(1), frame.GetAction(ID_EDIT_REDO));
    EXPECT_TRUE(edit->actions().value(2)->isSeparator());
    EXPECT_EQ(frame.GetAction(ID_EDIT_UNDO)->text(), "&Undo\tCtrl+Z");
    EXPECT_FALSE(frame.IsCommandEnabled(ID_EDIT_UNDO));

    CMVView* view = frame.GetView();
    view->setFocus();
    view->SelectRows({0, 1, 3}, 0);
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(view->GetRowCount(), 1);
    EXPECT_EQ(frame.GetAction(ID_EDIT_UNDO)->text(), "&Undo Delete 3 Cues\tCtrl+Z");
    EXPECT_EQ(frame.windowTitle(), "Untitled* - Marvane");

    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view->GetRowCount(), 4);
    EXPECT_EQ(frame.windowTitle(), "Untitled - Marvane");
    EXPECT_EQ(frame.GetAction(ID_EDIT_REDO)->text(), "&Redo Delete 3 Cues\tCtrl+Y");
    QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(view->GetRowCount(), 1);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view->GetRowCount(), 1);
    frame.UpdateCommandUI();
    frame.GetAction(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(view->GetRowCount(), 4);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({0, 1, 3}));
}

}  // namespace
