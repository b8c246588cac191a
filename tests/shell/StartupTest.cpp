#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/OutputDevice.h"
#include "shell/AppSettings.h"
#include "shell/CMainFrame.h"
#include "shell/CMarvaneApp.h"
#include "shell/CRecentFileList.h"
#include "shell/CSplashWnd.h"
#include "shell/CommandLineInfo.h"
#include "shell/DesktopIntegration.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

namespace {

TEST(CommandLine, FormsOfTheCommandLine) {
    CommandLineInfo empty = CommandLineInfo::Parse({});
    EXPECT_EQ(empty.m_nShellCommand, CommandLineInfo::FileNew);
    EXPECT_TRUE(empty.m_bShowSplash);

    CommandLineInfo open = CommandLineInfo::Parse({"/home/stage/Act 1.mvl"});
    EXPECT_EQ(open.m_nShellCommand, CommandLineInfo::FileOpen);
    EXPECT_EQ(open.m_strFileName, "/home/stage/Act 1.mvl");

    CommandLineInfo print = CommandLineInfo::Parse({"/p", "show.mvl"});
    EXPECT_EQ(print.m_nShellCommand, CommandLineInfo::FilePrint);
    EXPECT_EQ(print.m_strFileName, "show.mvl");

    CommandLineInfo printTo =
        CommandLineInfo::Parse({"-pt", "show.mvl", "Office", "driver", "port", "extra"});
    EXPECT_EQ(printTo.m_nShellCommand, CommandLineInfo::FilePrintTo);
    EXPECT_EQ(printTo.m_strPrinterName, "Office");
    EXPECT_EQ(printTo.m_strDriverName, "driver");
    EXPECT_EQ(printTo.m_strPortName, "port");

    EXPECT_EQ(CommandLineInfo::Parse({"/Unregister"}).m_nShellCommand,
              CommandLineInfo::AppUnregister);
    EXPECT_EQ(CommandLineInfo::Parse({"-UNREGSERVER"}).m_nShellCommand,
              CommandLineInfo::AppUnregister);

    CommandLineInfo embedded = CommandLineInfo::Parse({"/embedding", "show.mvl"});
    EXPECT_FALSE(embedded.m_bShowSplash);
    EXPECT_EQ(embedded.m_nShellCommand, CommandLineInfo::FileOpen);
    EXPECT_FALSE(CommandLineInfo::Parse({"-Automation"}).m_bShowSplash);
}

TEST(CommandLine, PathsThatLookLikeSwitches) {
    // "p" is compared with case, and a "/" word that is no switch is an absolute path.
    CommandLineInfo upper = CommandLineInfo::Parse({"/P"});
    EXPECT_EQ(upper.m_nShellCommand, CommandLineInfo::FileOpen);
    EXPECT_EQ(upper.m_strFileName, "/P");
    CommandLineInfo path = CommandLineInfo::Parse({"/pt/show.mvl"});
    EXPECT_EQ(path.m_nShellCommand, CommandLineInfo::FileOpen);
    EXPECT_EQ(path.m_strFileName, "/pt/show.mvl");
    // Unknown "-" switches are ignored.
    EXPECT_EQ(CommandLineInfo::Parse({"-verbose"}).m_nShellCommand, CommandLineInfo::FileNew);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { mvapp::OpenSettings().clear(); }
};

TEST_F(SettingsTest, KeptUnderTheMakerAndProgramNames) {
    mvapp::WriteProfileInt("MainFrame", "Left", 17);
    QSettings direct("Veldmark Software", "MARVANE");
    EXPECT_EQ(direct.value("MainFrame/Left").toInt(), 17);
    EXPECT_EQ(mvapp::GetProfileInt("MainFrame", "Top", -1), -1);
    direct.setValue("MainFrame/Top", "not a number");
    direct.sync();
    EXPECT_EQ(mvapp::GetProfileInt("MainFrame", "Top", -1), -1);
}

TEST_F(SettingsTest, RecentFilesKeepFourNewestFirst) {
    QTemporaryDir dir;
    CRecentFileList list;
    for (int i = 1; i <= 5; ++i) list.Add(dir.filePath(QStringLiteral("show%1.mvl").arg(i)));
    ASSERT_EQ(list.GetSize(), 4);
    EXPECT_TRUE(list.GetAt(0).endsWith("show5.mvl"));
    EXPECT_TRUE(list.GetAt(3).endsWith("show2.mvl"));
    list.Add(dir.filePath("show3.mvl"));  // again: moves to the top, not listed twice
    EXPECT_EQ(list.GetSize(), 4);
    EXPECT_TRUE(list.GetAt(0).endsWith("show3.mvl"));
    EXPECT_TRUE(list.GetAt(1).endsWith("show5.mvl"));

    list.WriteList();
    QSettings settings = mvapp::OpenSettings();
    EXPECT_EQ(settings.value("Recent File List/File1").toString(), list.GetAt(0));
    EXPECT_EQ(settings.value("Recent File List/File4").toString(), list.GetAt(3));
    CRecentFileList read;
    read.ReadList();
    EXPECT_EQ(read.GetFiles(), list.GetFiles());

    // Fewer entries later: the stale values go.
    read.Remove(0);
    read.Remove(0);
    read.WriteList();
    EXPECT_FALSE(mvapp::OpenSettings().contains("Recent File List/File3"));
}

TEST_F(SettingsTest, RecentFileMenuTextsAreShort) {
    CRecentFileList list;
    list.Add("/home/operator/shows/2026/The Importance of Being Earnest/Act 2.mvl");
    list.Add("/tmp/a&b.mvl");
    EXPECT_EQ(list.GetMenuText(0), "&1 /tmp/a&&b.mvl");
    const QString longText = list.GetMenuText(1);
    EXPECT_TRUE(longText.startsWith("&2 "));
    EXPECT_LE(longText.size() - 3, CRecentFileList::kMaxDisplayLength);
    EXPECT_TRUE(longText.endsWith("Act 2.mvl"));
    EXPECT_EQ(list.GetMenuText(2), "");
}

struct Message {
    QString text;
    QMessageBox::Icon icon;
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        mvapp::OpenSettings().clear();
        ASSERT_TRUE(m_dir.isValid());
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons) {
                m_messages.push_back({text, icon});
                return m_answer;
            });
        CSplashWnd::EnableSplash(false);
    }

    void TearDown() override {
        if (m_app) m_app->ExitInstance();
        m_app.reset();
        mvui::SetMessageHandlerForTesting({});
    }

    CMarvaneApp& MakeApp(bool audio = true) {
        m_app = std::make_unique<CMarvaneApp>();
        m_app->SetRegisterDesktopIntegration(false);
        // No device at all, as on a machine where no sound server runs.
        if (!audio)
            m_app->SetAudioInitializerForTesting([] { return theSoundOutput.Initialize({}); });
        return *m_app;
    }

    // A saved list of `count` cues that play a short tone.
    QString MakeList(const QString& name, int count) {
        const QString tone = m_dir.filePath("tone.wav");
        EXPECT_TRUE(viewtest::WriteTone(tone, 2000));
        CMVDoc doc;
        doc.OnNewDocument();
        for (int i = 0; i < count; ++i) viewtest::AddCue(doc, tone, CQRecord::kTypeNormal);
        QString error;
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
        return path;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CMarvaneApp> m_app;
    std::vector<Message> m_messages;
    int m_answer = QMessageBox::Ok;
};

TEST_F(StartupTest, NoArgumentsGivesAnUntitledListWithAudio) {
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({}));
    ASSERT_NE(app.GetMainFrame(), nullptr);
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    EXPECT_EQ(app.GetMainFrame()->windowTitle(), "Untitled - Marvane");
    EXPECT_GT(theSoundOutput.GetChannelCount(), 0);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(app.ExitInstance(0), 0);
    EXPECT_EQ(theSoundOutput.GetChannelCount(), 0);  // released at the end
}

// The desktop appends an application display name to every window caption that does not end
// with it: the message boxes must read "MARVANE" and the dialogs their own captions, not
// "MARVANE \u2014 Marvane". So the program names itself only through the application name.
TEST_F(StartupTest, CaptionsAreShownAsTheProgramGivesThem) {
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    EXPECT_EQ(QCoreApplication::applicationName(), "MARVANE");
    EXPECT_EQ(app.GetMainFrame()->windowTitle(), "Untitled - Marvane");
    EXPECT_EQ(app.ExitInstance(0), 0);
}

TEST_F(StartupTest, AudioFailureIsShownOverTheWindowAndEndsTheProgram) {
    CMarvaneApp& app = MakeApp(false);
    EXPECT_FALSE(app.InitInstance({}));
    ASSERT_EQ(m_messages.size(), 1u);
    // The text as it always was, and a second line that says why and what to try.
    EXPECT_EQ(m_messages[0].text,
              "Failed to initialize DirectX Audio\nNo sound server answered (PulseAudio/PipeWire, "
              "JACK). Start one, or set MARVANE_AUDIO=virtual:2 to rehearse without sound.");
    EXPECT_EQ(m_messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(CSplashWnd::GetCurrent(), nullptr);
    EXPECT_NE(app.ExitInstance(0), 0);
    // The window went away the normal way: its placement of this run is kept.
    EXPECT_TRUE(mvapp::OpenSettings().contains("MainFrame/Right"));
}

TEST_F(StartupTest, OpensTheListNamedOnTheCommandLineAndRemembersIt) {
    const QString path = MakeList("Act1.mvl", 3);
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({path}));
    EXPECT_EQ(app.GetDocument()->GetCueCount(), 3);
    EXPECT_EQ(app.GetMainFrame()->GetView()->GetRowCount(), 3);
    EXPECT_EQ(app.GetMainFrame()->windowTitle(), "Act1.mvl - Marvane");
    EXPECT_EQ(app.GetMainFrame()->GetPaneText(2), "Cues:003");
    app.ExitInstance(0);
    m_app.reset();
    CRecentFileList recent;
    recent.ReadList();
    ASSERT_EQ(recent.GetSize(), 1);
    EXPECT_EQ(QFileInfo(recent.GetAt(0)).fileName(), "Act1.mvl");
}

TEST_F(StartupTest, EndingWhileCuesPlayStopsThemBeforeTheRecordsAndDevicesGo) {
    const QString path = MakeList("Busy.mvl", 3);
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({path}));
    CMVView* view = app.GetMainFrame()->GetView();
    view->SelectRows({0, 1, 2}, 0);
    ASSERT_TRUE(app.GetMainFrame()->DispatchCommand(ID_AUDIO_GO, Qt::NoModifier));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetOwnedPlayerCount() == 3; }, 3000));
    QPointer<CMainFrame> frame = app.GetMainFrame();
    EXPECT_EQ(app.ExitInstance(0), 0);
    EXPECT_TRUE(frame.isNull());
    EXPECT_EQ(app.GetDocument(), nullptr);
    EXPECT_EQ(theSoundOutput.GetChannelCount(), 0);
}

TEST_F(StartupTest, ListThatCannotBeOpenedEndsTheProgramAfterItsMessage) {
    CMarvaneApp& app = MakeApp();
    EXPECT_FALSE(app.InitInstance({m_dir.filePath("missing.mvl")}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].text.contains("missing.mvl"));
    EXPECT_EQ(theSoundOutput.GetChannelCount(), 0);  // never opened
}

TEST_F(StartupTest, SaveChangesPromptGuardsNewAndExit) {
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({}));
    app.GetDocument()->AddCue(-1);
    app.GetMainFrame()->GetView()->FillList();

    m_answer = QMessageBox::Cancel;
    EXPECT_FALSE(app.GetMainFrame()->DispatchCommand(ID_FILE_NEW) &&
                 app.GetDocument()->GetCueCount() == 0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Save changes to Untitled?");
    EXPECT_EQ(app.GetDocument()->GetCueCount(), 1);
    EXPECT_FALSE(app.GetMainFrame()->close());  // Cancel keeps the window open

    m_answer = QMessageBox::No;
    app.GetMainFrame()->DispatchCommand(ID_FILE_NEW);
    EXPECT_EQ(app.GetDocument()->GetCueCount(), 0);
    EXPECT_FALSE(app.GetDocument()->IsModified());
    EXPECT_EQ(app.GetMainFrame()->GetPaneText(2), "Cues:000");
}

TEST_F(StartupTest, ClosingNeverLosesWorkWhenTheSaveDoesNotHappen) {
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({}));
    CMainFrame* frame = app.GetMainFrame();
    QString target;  // empty: the operator cancels the Save As dialog
    app.GetDocManager()->SetFileChoosersForTesting(
        [](const QString&, const QString&) { return QString(); },
        [&](const QString&, const QString&) { return target; });
    app.GetDocument()->AddCue(-1);
    frame->GetView()->FillList();
    m_answer = QMessageBox::Yes;

    // Yes, then Save As cancelled: the window stays with the work unsaved.
    EXPECT_FALSE(frame->close());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Save changes to Untitled?");
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(app.GetDocument()->IsModified());

    // Yes, but the file cannot be written (no such folder): the message, and the window stays
    // open with the work still unsaved.
    target = m_dir.filePath("gone/Show.mvl");
    EXPECT_FALSE(frame->close());
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_EQ(m_messages[2].icon, QMessageBox::Warning);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(app.GetDocument()->IsModified());
    EXPECT_EQ(app.GetDocument()->GetCueCount(), 1);

    // Only a save that succeeds lets the window go.
    target = m_dir.filePath("Show.mvl");
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(app.GetDocument()->IsModified());
    EXPECT_TRUE(QFileInfo::exists(target));
}

TEST_F(StartupTest, SaveAsWritesTheFileAndFailedOpenOfARecentFileDropsIt) {
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({}));
    const QString target = m_dir.filePath("Saved");
    app.GetDocManager()->SetFileChoosersForTesting(
        [](const QString&, const QString&) { return QString(); },
        [&](const QString&, const QString& suggested) {
            EXPECT_EQ(suggested, "Untitled.MVL");
            return target;
        });
    app.GetDocument()->AddCue(-1);
    app.GetMainFrame()->DispatchCommand(ID_FILE_SAVE);
    EXPECT_TRUE(QFileInfo::exists(target + ".MVL"));  // the default extension is added
    EXPECT_FALSE(app.GetDocument()->IsModified());
    EXPECT_EQ(app.GetMainFrame()->windowTitle(), "Saved.MVL - Marvane");
    ASSERT_EQ(app.GetRecentFileList()->GetSize(), 1);

    ASSERT_TRUE(QFile::remove(target + ".MVL"));
    app.GetDocManager()->OnFileNew();
    EXPECT_TRUE(app.GetMainFrame()->IsCommandEnabled(ID_FILE_MRU_FILE1));
    app.GetMainFrame()->DispatchCommand(ID_FILE_MRU_FILE1);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(app.GetRecentFileList()->GetSize(), 0);
    EXPECT_FALSE(app.GetMainFrame()->IsCommandEnabled(ID_FILE_MRU_FILE1));
}

TEST_F(StartupTest, SplashSwallowsTheFirstPressOnly) {
    const QString path = MakeList("Bell.mvl", 1);
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({path}));
    // The splash of a normal start (the command line asked for none here, so show it now).
    CSplashWnd::EnableSplash(true);
    CSplashWnd::ShowSplash(app.GetMainFrame());
    ASSERT_NE(CSplashWnd::GetCurrent(), nullptr);

    CMVView* view = app.GetMainFrame()->GetView();
    view->SelectRows({0}, 0);
    app.GetMainFrame()->UpdateCommandUI();
    QTest::keyClick(view, Qt::Key_Return);  // only removes the splash
    EXPECT_EQ(CSplashWnd::GetCurrent(), nullptr);
    QTest::qWait(50);
    EXPECT_EQ(view->GetOwnedPlayerCount(), 0);
    QTest::keyClick(view, Qt::Key_Return);  // now Go
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->GetOwnedPlayerCount() == 1; }, 3000));
    app.GetMainFrame()->DispatchCommand(ID_AUDIO_STOPALL, Qt::NoModifier);
}

TEST_F(StartupTest, SplashGoesAwayByItselfAndNotWithEmbedding) {
    const CommandLineInfo embedded = CommandLineInfo::Parse({"/Embedding"});
    CMarvaneApp& app = MakeApp();
    ASSERT_TRUE(app.InitInstance({"/Embedding"}));
    EXPECT_FALSE(embedded.m_bShowSplash);
    EXPECT_EQ(CSplashWnd::GetCurrent(), nullptr);

    CSplashWnd::EnableSplash(true);
    CSplashWnd::ShowSplash(app.GetMainFrame());
    ASSERT_NE(CSplashWnd::GetCurrent(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([] { return CSplashWnd::GetCurrent() == nullptr; },
                                CSplashWnd::kShowMs + 1000));
}

TEST_F(StartupTest, UnregisterRemovesSettingsAndDesktopFilesWithoutWritingBack) {
    CMarvaneApp& app = MakeApp();
    mvapp::WriteProfileInt("MainFrame", "Left", 5);
    ASSERT_TRUE(mvdesktop::RegisterFileType("/opt/marvane/bin/marvane"));
    const QString entry =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation, "applications/marvane.desktop");
    ASSERT_FALSE(entry.isEmpty());
    const QString icon = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                "icons/hicolor/scalable/apps/marvane.svg");
    ASSERT_FALSE(icon.isEmpty());

    EXPECT_FALSE(app.InitInstance({"-Unregister"}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text,
              "System registry entries have been removed and the INI file (if any) was deleted.");
    EXPECT_EQ(app.GetMainFrame(), nullptr);
    app.ExitInstance(0);
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_FALSE(QFileInfo::exists(icon));
    EXPECT_TRUE(mvapp::OpenSettings().allKeys().isEmpty());
}

TEST(DesktopIntegration, EntryOpensCueListsOfAnyCase) {
    const QString entry = mvdesktop::DesktopEntryText("/opt/my apps/marvane");
    EXPECT_TRUE(entry.contains("Exec=\"/opt/my apps/marvane\" %f\n"));
    EXPECT_TRUE(entry.contains("MimeType=application/x-marvane-cuelist;"));
    EXPECT_TRUE(mvdesktop::MimePackageText().contains(
        "<glob pattern=\"*.mvl\" case-sensitive=\"false\"/>"));
}

}  // namespace
