// The operator's show in the main window: the show panel's NEXT and PLAYING blocks, the Go log,
// the failure line, the prompt before cues are cut off, the Display page, theme and font.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "engine/WaveformCache.h"
#include "shell/AppSettings.h"
#include "shell/CDisplayPrefsPage.h"
#include "shell/CLevelMeter.h"
#include "shell/CMainFrame.h"
#include "shell/CPositionBar.h"
#include "shell/CPreferencesDlg.h"
#include "shell/CShowPanel.h"
#include "shell/CWrapLabel.h"
#include "shell/FrameFixture.h"
#include "shell/GoLog.h"
#include "shell/Preferences.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

namespace {

TEST(GoLogFormat, OneTabSeparatedLinePerCueWithTimeActionAndSource) {
    const QDateTime when(QDate(2026, 12, 7), QTime(20, 15, 3, 123));
    ShowAction go;
    go.kind = ShowAction::Kind::Go;
    go.cues = {{QStringLiteral("Q1"), QStringLiteral("Door\tbell\nrings"), true},
               {QStringLiteral("Q2"), QStringLiteral("Rain"), false}};
    go.source = CommandSource::FromOsc(QStringLiteral("10.0.0.5"));
    EXPECT_EQ(GoLog::FormatLines(go, when),
              QStringList({"2026-12-07 20:15:03.123\tGO\tQ1\tDoor bell rings\tosc 10.0.0.5",
                           "2026-12-07 20:15:03.123\tGO_FAILED\tQ2\tRain\tosc 10.0.0.5"}));
    ShowAction stop;
    stop.kind = ShowAction::Kind::StopAll;
    EXPECT_EQ(GoLog::FormatLines(stop, when),
              QStringList({"2026-12-07 20:15:03.123\tSTOP_ALL\t\t\tkey"}));
    EXPECT_EQ(GoLog::FileNameFor(QStringLiteral("Hamlet"), when.date()), "Hamlet 2026-12-07.log");
    EXPECT_EQ(GoLog::FileNameFor(QString(), when.date()), "Untitled 2026-12-07.log");
    // No way out of the folder, no hidden file.
    EXPECT_EQ(GoLog::FileNameFor(QStringLiteral("../a/b"), when.date()), "_._a_b 2026-12-07.log");
}

TEST(GoLogFile, AppendsFromItsOwnThreadAndSaysWhenItCannotWrite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        GoLog log(dir.filePath("logs"));
        log.SetShowName(QStringLiteral("Show"));
        ShowAction action;
        action.cues = {{QStringLiteral("Q1"), QStringLiteral("One"), true}};
        const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5, 6));
        log.Record(action, when);
        action.kind = ShowAction::Kind::FadeAll;
        log.Record(action, when.addMSecs(10));
        ASSERT_TRUE(log.WaitUntilWritten(5000));
    }
    QFile file(dir.filePath("logs/Show 2026-01-02.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "2026-01-02 03:04:05.006\tGO\tQ1\tOne\tkey\n"
              "2026-01-02 03:04:05.016\tFADE_ALL\tQ1\tOne\tkey\n");

    // A folder that cannot be made: one message, not one per action.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    GoLog broken(dir.filePath("blocker/logs"));
    QStringList errors;
    QObject::connect(&broken, &GoLog::writeFailed, [&](const QString& e) { errors << e; });
    broken.Record(ShowAction{});
    broken.Record(ShowAction{});
    ASSERT_TRUE(broken.WaitUntilWritten(5000));
    QTest::qWait(50);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("blocker/logs")));
}

TEST(LevelMeter, HoldsPeaksAndKeepsTheClipMarkUntilClicked) {
    CLevelMeter meter;
    meter.SetLevels({0.5f, 1.0f}, {0.3f, 0.7f});
    EXPECT_FALSE(meter.IsClipped(0));
    EXPECT_TRUE(meter.IsClipped(1));
    meter.SetLevels({0.1f, 0.1f}, {0.05f, 0.05f});
    EXPECT_FLOAT_EQ(meter.GetHeldPeak(0), 0.5f);  // held
    EXPECT_FLOAT_EQ(meter.GetPeak(0), 0.1f);
    EXPECT_TRUE(meter.IsClipped(1));
    meter.ResetClip();
    EXPECT_FALSE(meter.IsClipped(1));
    EXPECT_DOUBLE_EQ(CLevelMeter::ScaleOf(1.0f), 1.0);
    EXPECT_DOUBLE_EQ(CLevelMeter::ScaleOf(0.0f), 0.0);
    EXPECT_NEAR(CLevelMeter::ScaleOf(0.001f), 0.0, 1e-6);     // -60 dB: the floor
    EXPECT_NEAR(CLevelMeter::ScaleOf(0.031623f), 0.5, 1e-4);  // -30 dB
}

TEST(ShowPanelFormat, ClockLevelAndSpeed) {
    EXPECT_EQ(CShowPanel::FormatClock(0), "0:00.0");
    EXPECT_EQ(CShowPanel::FormatClock(61990), "1:01.9");
    EXPECT_EQ(CShowPanel::FormatClock(6000000), "100:00.0");
    EXPECT_EQ(CShowPanel::FormatLevel(-600), "-6.0 dB");
    EXPECT_EQ(CShowPanel::FormatLevel(-10000), "-inf dB");
    EXPECT_EQ(CShowPanel::FormatSpeed(1.5), "x1.50");
}

class ShowFrameTest : public FrameFixture {
protected:
    ShowFrameTest() : FrameFixture(3000, QMessageBox::No) {}
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    CMainFrame& MakeFrame() {
        return FrameFixture::MakeFrame(
            [this](CMainFrame& frame) { frame.SetGoLogFolder(m_dir.filePath("logs")); });
    }

    CQRecord* Add(const char* id, const char* description, uint32_t flags,
                  const QString& path = QString()) {
        CQRecord* cue = viewtest::AddCue(*m_doc, path.isEmpty() ? m_tone : path, flags, 400);
        cue->SetID(id);
        cue->m_strDescription = description;
        return cue;
    }

    bool Go(int row, const CommandSource& source = CommandSource::FromKey()) {
        m_frame->GetView()->SelectRows({row}, row);
        return m_frame->DispatchCommand(ID_AUDIO_GO, Qt::NoModifier, source);
    }

    QString ReadLog() {
        EXPECT_TRUE(m_frame->GetGoLog()->WaitUntilWritten(5000));
        QString text;
        for (const QString& name : QDir(m_dir.filePath("logs")).entryList(QDir::Files)) {
            QFile file(m_dir.filePath("logs/" + name));
            if (file.open(QIODevice::ReadOnly)) text += QString::fromUtf8(file.readAll());
        }
        return text;
    }
};

TEST_F(ShowFrameTest, PanelFollowsCuesAsTheyStartLoopFadeAndEnd) {
    Add("Q1", "Thunder", CQRecord::kTypeNormal | CQRecord::kFlagLooped)->m_strNotes =
        "Cue on lightning";
    Add("Q2", "Rain", CQRecord::kTypeBackground);
    CMainFrame& frame = MakeFrame();
    CShowPanel* panel = frame.GetShowPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(frame.GetShowDock()->isVisible());
    EXPECT_TRUE(panel->GetNextText().startsWith(QStringLiteral("End of list")));
    EXPECT_FALSE(panel->GetGoButton()->isEnabled());

    frame.GetView()->SelectRows({0}, 0);
    EXPECT_EQ(panel->GetNextText().section('\n', 0, 0), "Q1  Thunder");
    EXPECT_TRUE(panel->GetNextText().contains(QStringLiteral("Normal, Looped")));
    EXPECT_TRUE(panel->GetNextText().contains(QStringLiteral("Cue on lightning")));

    // The panel's GO is the same command as Enter.
    QTest::mouseClick(panel->GetGoButton(), Qt::LeftButton);
    ASSERT_EQ(frame.GetView()->GetOwnedPlayerCount(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->GetPlayingCount() == 1; }, 2000));
    EXPECT_TRUE(panel->IsRefreshing());
    EXPECT_LE(CShowPanel::kRefreshMs, 50);
    ASSERT_TRUE(Go(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->GetPlayingCount() == 2; }, 2000));
    // Newest first; the looped cue says "loop" instead of a time to go.
    QTest::qWait(300);
    const QStringList lines = panel->GetPlayingTexts();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Q2  Rain |"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" -0:02."))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("loop"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("0.0 dB   x1.00"))) << lines[1].toStdString();
    EXPECT_GT(panel->GetProgress(0), 0);

    // Volume down on all: both lines show the new level.
    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_VOLDOWN, Qt::ControlModifier));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return panel->GetPlayingTexts().filter(QStringLiteral("-1.0 dB")).size() == 2; },
        2000));

    // Q1's own Fade: it fades out alone, marked so, and goes; Q2 plays on.
    QTest::mouseClick(panel->GetFadeButton(1), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return panel->GetPlayingTexts().join(' ').contains("fading out"); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->GetPlayingCount() == 1; }, 3000));
    EXPECT_TRUE(panel->GetPlayingTexts()[0].startsWith(QStringLiteral("Q2")));
    // Q2 ends by itself; the panel stops following.
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->GetPlayingCount() == 0; }, 5000));
    EXPECT_FALSE(panel->IsRefreshing());
}

TEST_F(ShowFrameTest, EveryActionIsLoggedWithItsSource) {
    Add("Q1", "Thunder", CQRecord::kTypeMultiple | CQRecord::kFlagLooped);
    CMainFrame& frame = MakeFrame();
    QString error;
    ASSERT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("Hamlet.mvl"), &error));
    ASSERT_TRUE(Go(0, CommandSource::FromOsc(QStringLiteral("10.0.0.5"))));
    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_KILL, Qt::NoModifier));
    ASSERT_TRUE(Go(0, CommandSource::FromButton()));
    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_FADEALL, Qt::ShiftModifier));
    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_FADEALL, Qt::ShiftModifier));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.GetView()->GetOwnedPlayerCount() == 0; }, 3000));
    const QStringList lines = ReadLog().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << ReadLog().toStdString();
    const QStringList expected = {"GO\tQ1\tThunder\tosc 10.0.0.5", "KILL\tQ1\tThunder\tkey",
                                  "GO\tQ1\tThunder\tbutton", "FADE_ALL\tQ1\tThunder\tkey",
                                  "STOP_ALL\tQ1\tThunder\tkey"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lines[i].section('\t', 1), expected[i]) << lines[i].toStdString();
        EXPECT_EQ(lines[i].section('\t', 0, 0).size(), 23);  // yyyy-MM-dd HH:mm:ss.zzz
    }
    EXPECT_TRUE(QFile::exists(
        m_dir.filePath("logs/Hamlet " + QDate::currentDate().toString("yyyy-MM-dd") + ".log")));
}

TEST_F(ShowFrameTest, IgnoredDoubleGoIsToldAndLogged) {
    Add("Q1", "Thunder", CQRecord::kTypeMultiple | CQRecord::kFlagLooped);
    Preferences().SetDoubleGoMs(5000);
    CMainFrame& frame = MakeFrame();
    ASSERT_TRUE(Go(0));
    ASSERT_TRUE(Go(0, CommandSource::FromMidi()));
    EXPECT_EQ(frame.GetView()->GetOwnedPlayerCount(), 1);
    EXPECT_EQ(frame.GetPaneText(0), "Go ignored (double press)");
    QTest::qWait(100);  // the status updates of the playing cue leave the notice standing
    EXPECT_EQ(frame.GetPaneText(0), "Go ignored (double press)");
    EXPECT_TRUE(ReadLog().contains("\tGO_IGNORED\tQ1\tThunder\tmidi\n"));
}

TEST_F(ShowFrameTest, AFailureDuringTheShowIsARedLineUntilDismissed) {
    Add("Q1", "Thunder", CQRecord::kTypeNormal | CQRecord::kFlagLooped);
    Add("Q2", "Bell", CQRecord::kTypeNormal, m_dir.filePath("bell.wav"));
    CMainFrame& frame = MakeFrame();
    ASSERT_TRUE(Go(0));
    ASSERT_TRUE(Go(1));
    EXPECT_TRUE(m_messages.isEmpty());
    const QString text = frame.GetFailureText();
    EXPECT_TRUE(text.contains("Q2") && text.contains("bell.wav")) << text.toStdString();
    EXPECT_EQ(frame.GetShowPanel()->GetFailureText(), text);
    // Escape still reaches the playing cue, and the line stays.
    QTest::keyClick(frame.GetView(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.GetView()->GetOwnedPlayerCount() == 0; }, 3000));
    EXPECT_EQ(frame.GetFailureText(), text);
    frame.DismissFailure();
    EXPECT_TRUE(frame.GetFailureText().isEmpty());
    EXPECT_TRUE(frame.GetShowPanel()->GetFailureText().isEmpty());
}

TEST_F(ShowFrameTest, ClosingWhileCuesPlayAsksFirstAndNoKeepsThemPlaying) {
    Add("Q1", "Thunder", CQRecord::kTypeNormal | CQRecord::kFlagLooped);
    CMainFrame& frame = MakeFrame();
    EXPECT_TRUE(frame.ConfirmStopPlaying());  // nothing plays: no question
    EXPECT_TRUE(m_messages.isEmpty());
    ASSERT_TRUE(Go(0));
    m_answer = QMessageBox::No;
    EXPECT_FALSE(frame.close());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], "Cues are playing. Stop them and close?");
    EXPECT_EQ(frame.GetView()->GetOwnedPlayerCount(), 1);
    m_answer = QMessageBox::Yes;
    EXPECT_TRUE(frame.ConfirmStopPlaying());
    EXPECT_EQ(frame.GetView()->GetOwnedPlayerCount(), 0);
}

TEST_F(ShowFrameTest, DisplayChoicesAreAppliedAndRemembered) {
    Add("Q1", "Thunder", CQRecord::kTypeNormal);
    CMainFrame& frame = MakeFrame();
    const int before = frame.GetListFontPoints();
    QTest::keyClick(frame.GetView(), Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(frame.GetListFontPoints(), before + 1);
    QTest::keyClick(frame.GetView(), Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(frame.GetView(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(frame.GetListFontPoints(), before - 1);
    EXPECT_EQ(Preferences().GetListFontPoints(), before - 1);

    const QColor lightWindow = QApplication::palette().color(QPalette::Window);
    ASSERT_TRUE(frame.DispatchCommand(ID_VIEW_DARKTHEME));
    EXPECT_TRUE(frame.IsDarkTheme());
    EXPECT_TRUE(Preferences().GetDarkTheme());
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 60);
    // The highlight stays clearly apart from the rows around it.
    const QPalette dark = QApplication::palette();
    EXPECT_GT(std::abs(dark.color(QPalette::Highlight).lightness() -
                       dark.color(QPalette::Base).lightness()),
              50);
    ASSERT_TRUE(frame.DispatchCommand(ID_VIEW_DARKTHEME));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), lightWindow);

    ASSERT_TRUE(frame.DispatchCommand(ID_VIEW_SHOWPANEL));
    EXPECT_FALSE(frame.GetShowDock()->isVisible());
    EXPECT_FALSE(Preferences().GetShowPanel());

    // The Display page shows the stored values and stores what is chosen on it.
    std::unique_ptr<CPreferencesDlg> dialog(frame.CreatePreferencesDialog());
    auto* page = qobject_cast<CDisplayPrefsPage*>(dialog->FindPage(QStringLiteral("Display")));
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->GetShowPanelField()->isChecked());
    EXPECT_EQ(page->GetFontPointsField()->value(), before - 1);
    page->GetShowPanelField()->setChecked(true);
    page->GetDarkThemeField()->setChecked(true);
    page->GetFontPointsField()->setValue(page->GetFontPointsField()->minimum());  // desktop size
    ASSERT_TRUE(dialog->Apply());
    EXPECT_TRUE(frame.GetShowDock()->isVisible());
    EXPECT_TRUE(frame.IsDarkTheme());
    EXPECT_EQ(Preferences().GetListFontPoints(), 0);
    EXPECT_EQ(frame.GetListFontPoints(), QApplication::font(frame.GetView()).pointSize());
    frame.ApplyTheme(false);
}

}  // namespace

namespace {

TEST_F(ShowFrameTest, PositionBarShowsTheWaveformAndNextKnowsTheLength) {
    Add("Q1", "Thunder", CQRecord::kTypeNormal);
    CMainFrame& frame = MakeFrame();
    frame.GetView()->SelectRows({0}, 0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame.GetPositionBar()->GetOverview() != nullptr; }, 5000));
    EXPECT_EQ(frame.GetPositionBar()->GetOverview()->durationMs, 3000u);
    EXPECT_TRUE(frame.GetShowPanel()->GetNextText().contains(QStringLiteral("0:03.0")))
        << frame.GetShowPanel()->GetNextText().toStdString();
}

TEST(WrapLabel, LongWordsBreakInsideAndALineLimitEndsInAnEllipsis) {
    CWrapLabel label;
    QFont font = label.font();
    font.setPointSize(20);
    label.setFont(font);
    const QString text = QStringLiteral("Q20.5  Preshow_announcement_mobile_phones_off\nsecond");
    label.setText(text);
    const QFontMetrics metrics(font);
    const int width = 160;
    const QStringList lines = label.LinesAt(width);
    ASSERT_GE(lines.size(), 4);
    QString joined;
    for (const QString& line : lines) {
        EXPECT_LE(metrics.horizontalAdvance(line), width) << line.toStdString();
        joined += line;
    }
    // Nothing is lost on the way: only the spaces where lines break go.
    EXPECT_EQ(joined.remove(QLatin1Char(' ')), QString(text).remove(' ').remove('\n'));
    EXPECT_EQ(lines.last(), "second");
    EXPECT_EQ(label.heightForWidth(width), static_cast<int>(lines.size()) * metrics.lineSpacing());
    EXPECT_GT(label.heightForWidth(width / 2), label.heightForWidth(width));

    label.SetMaxLines(1);
    const QStringList one = label.LinesAt(width);
    ASSERT_EQ(one.size(), 1);
    EXPECT_TRUE(one[0].startsWith(QStringLiteral("Q20.5"))) << one[0].toStdString();
    EXPECT_TRUE(one[0].endsWith(QChar(0x2026))) << one[0].toStdString();
    EXPECT_LE(metrics.horizontalAdvance(one[0]), width);
    label.setText(QStringLiteral("Q1  Rain"));
    EXPECT_EQ(label.LinesAt(width), QStringList{QStringLiteral("Q1  Rain")});
}

TEST_F(ShowFrameTest, NarrowWindowKeepsNextWholeAndTheWaveformStandsOutInBothThemes) {
    Add("Q20.5", "Preshow_announcement_for_mobile_phones and the late comers",
        CQRecord::kTypeNormal)
        ->m_strNotes = "Wait for the house manager's call on the headset";
    CMainFrame& frame = MakeFrame();
    frame.resize(900, 600);
    frame.GetView()->SelectRows({0}, 0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame.GetPositionBar()->GetOverview() != nullptr; }, 5000));
    QTest::qWait(100);
    for (const char* name : {"NextTitle", "NextInfo"}) {
        auto* label = frame.GetShowPanel()->findChild<CWrapLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr);
        // As tall as its wrapped lines need, and within the panel's width.
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
        EXPECT_LE(label->mapTo(frame.GetShowPanel(), QPoint(label->width(), 0)).x(),
                  frame.GetShowPanel()->width())
            << name;
    }

    // Across the bar's middle rows most pixels are the waveform's, far from the well's colour.
    const auto waveformShare = [&] {
        CPositionBar* bar = frame.GetPositionBar();
        bar->GetSlider()->update();
        QTest::qWait(50);
        const QImage image = bar->GetSlider()->grab().toImage();
        const int base = bar->GetSlider()->palette().color(QPalette::Base).lightness();
        int wave = 0;
        for (int x = 0; x < image.width(); ++x)
            if (std::abs(QColor(image.pixel(x, image.height() / 2 - 2)).lightness() - base) > 60)
                ++wave;
        return static_cast<double>(wave) / image.width();
    };
    EXPECT_GT(waveformShare(), 0.8);
    frame.ApplyTheme(true);
    EXPECT_GT(waveformShare(), 0.8);
    frame.ApplyTheme(false);
}

}  // namespace
