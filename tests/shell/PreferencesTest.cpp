#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <memory>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "engine/CSoundOutput.h"
#include "shell/AppSettings.h"
#include "shell/CMainFrame.h"
#include "shell/CPreferencesDlg.h"
#include "shell/CPreferencesPage.h"
#include "shell/CShowPrefsPage.h"
#include "shell/Preferences.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

namespace {

class PreferencesStore : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path() const { return m_dir.filePath("prefs.ini"); }
    // Writes raw values the way an installer or a careless hand would.
    void Raw(const QString& key, const QVariant& value) {
        QSettings raw(Path(), QSettings::IniFormat);
        raw.setValue(key, value);
    }

    QTemporaryDir m_dir;
};

TEST_F(PreferencesStore, MissingValuesReadAsTheirDefaults) {
    Preferences prefs(Path());
    EXPECT_EQ(prefs.GetAudioBackend(), "auto");
    EXPECT_TRUE(prefs.GetAudioDevices().isEmpty());
    EXPECT_FALSE(prefs.GetOscEnabled());
    EXPECT_EQ(prefs.GetOscPort(), 53000);
    EXPECT_EQ(prefs.GetOscInterface(), QString());
    EXPECT_EQ(prefs.GetOscPasscode(), QString());
    EXPECT_TRUE(prefs.GetOscAllowedSenders().isEmpty());
    EXPECT_FALSE(prefs.GetMidiEnabled());
    EXPECT_EQ(prefs.GetMidiPort(), QString());
    EXPECT_EQ(prefs.GetMidiMscDeviceId(), 127);
    EXPECT_TRUE(prefs.GetBackupPeers().isEmpty());
    EXPECT_EQ(prefs.GetDoubleGoMs(), 0);
    EXPECT_EQ(prefs.GetFadeAllMs(), 2000);
    EXPECT_FALSE(prefs.GetDarkTheme());
    EXPECT_EQ(prefs.GetListFontPoints(), 0);
    EXPECT_TRUE(prefs.GetShowPanel());
}

TEST_F(PreferencesStore, ValuesSurviveTheStoreUnderTheirDocumentedNames) {
    {
        Preferences prefs(Path());
        prefs.SetAudioBackend("jack");
        prefs.SetAudioDevices({"system", "Studio Interface"});
        prefs.SetOscEnabled(true);
        prefs.SetOscPort(9000);
        prefs.SetOscInterface("192.168.1.20");
        prefs.SetOscPasscode("secret word");
        prefs.SetOscAllowedSenders({"10.0.0.5", "::1"});
        prefs.SetMidiEnabled(true);
        prefs.SetMidiPort("GO box");
        prefs.SetMidiMscDeviceId(17);
        prefs.SetBackupPeers({"backup.local:53000", "10.0.0.9:53001", "[::1]:53002"});
        prefs.SetDoubleGoMs(300);
        prefs.SetFadeAllMs(4500);
        prefs.SetDarkTheme(true);
        prefs.SetListFontPoints(18);
        prefs.SetShowPanel(false);
        ASSERT_TRUE(prefs.Sync());
    }
    QSettings raw(Path(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("OSC/Port").toInt(), 9000);
    EXPECT_EQ(raw.value("Show/DoubleGoMs").toInt(), 300);
    EXPECT_EQ(raw.value("Display/ListFontPoints").toInt(), 18);
    EXPECT_EQ(raw.value("Backup/Peers").toStringList().size(), 3);

    Preferences prefs(Path());
    EXPECT_EQ(prefs.GetAudioBackend(), "jack");
    EXPECT_EQ(prefs.GetAudioDevices(), QStringList({"system", "Studio Interface"}));
    EXPECT_TRUE(prefs.GetOscEnabled());
    EXPECT_EQ(prefs.GetOscPort(), 9000);
    EXPECT_EQ(prefs.GetOscInterface(), "192.168.1.20");
    EXPECT_EQ(prefs.GetOscPasscode(), "secret word");
    EXPECT_EQ(prefs.GetOscAllowedSenders(), QStringList({"10.0.0.5", "::1"}));
    EXPECT_TRUE(prefs.GetMidiEnabled());
    EXPECT_EQ(prefs.GetMidiPort(), "GO box");
    EXPECT_EQ(prefs.GetMidiMscDeviceId(), 17);
    EXPECT_EQ(prefs.GetBackupPeers().size(), 3);
    EXPECT_EQ(prefs.GetDoubleGoMs(), 300);
    EXPECT_EQ(prefs.GetFadeAllMs(), 4500);
    EXPECT_TRUE(prefs.GetDarkTheme());
    EXPECT_EQ(prefs.GetListFontPoints(), 18);
    EXPECT_FALSE(prefs.GetShowPanel());
}

TEST_F(PreferencesStore, MistypedAndOutOfRangeValuesFallBackToTheDefault) {
    Raw("OSC/Enabled", "yes please");
    Raw("OSC/Port", "12abc");
    Raw("Show/DoubleGoMs", -5);
    Raw("Show/FadeAllMs", "1e3");
    Raw("Display/ShowPanel", "maybe");
    Raw("Display/ListFontPoints", 3);
    Raw("MIDI/MscDeviceId", 112);
    Raw("Audio/Backend", "directsound");
    Raw("OSC/Interface", "eth0");
    Raw("OSC/AllowedSenders", QStringList({"10.0.0.1", "not an address", "300.1.1.1"}));
    Raw("Backup/Peers", QStringList({"host", "host:0", "host:70000", "good-host:1234", ":5"}));
    Raw("OSC/Passcode", QStringList({"a", "b"}));

    Preferences prefs(Path());
    EXPECT_FALSE(prefs.GetOscEnabled());
    EXPECT_EQ(prefs.GetOscPort(), 53000);
    EXPECT_EQ(prefs.GetDoubleGoMs(), 0);
    EXPECT_EQ(prefs.GetFadeAllMs(), 2000);
    EXPECT_TRUE(prefs.GetShowPanel());
    EXPECT_EQ(prefs.GetListFontPoints(), 0);
    EXPECT_EQ(prefs.GetMidiMscDeviceId(), 127);
    EXPECT_EQ(prefs.GetAudioBackend(), "auto");
    EXPECT_EQ(prefs.GetOscInterface(), QString());
    EXPECT_EQ(prefs.GetOscAllowedSenders(), QStringList({"10.0.0.1"}));
    EXPECT_EQ(prefs.GetBackupPeers(), QStringList({"good-host:1234"}));
    EXPECT_EQ(prefs.GetOscPasscode(), QString());

    // Numbers far outside an int are no numbers either, and the spellings of a bool count.
    Raw("OSC/Port", "99999999999");
    Raw("OSC/Enabled", "TRUE");
    Raw("MIDI/Enabled", "1");
    Preferences again(Path());
    EXPECT_EQ(again.GetOscPort(), 53000);
    EXPECT_TRUE(again.GetOscEnabled());
    EXPECT_TRUE(again.GetMidiEnabled());
}

TEST_F(PreferencesStore, SettersKeepValuesWithinWhatTheGettersAccept) {
    Preferences prefs(Path());
    prefs.SetOscPort(0);
    prefs.SetDoubleGoMs(1000000);
    prefs.SetFadeAllMs(-1);
    prefs.SetListFontPoints(2);
    prefs.SetMidiMscDeviceId(120);
    EXPECT_EQ(prefs.GetOscPort(), 1);
    EXPECT_EQ(prefs.GetDoubleGoMs(), Preferences::kMaxDoubleGoMs);
    EXPECT_EQ(prefs.GetFadeAllMs(), 0);
    EXPECT_EQ(prefs.GetListFontPoints(), Preferences::kMinListFontPoints);
    EXPECT_EQ(prefs.GetMidiMscDeviceId(), 127);
}

// A page that refuses its values while its field holds a negative number.
class RefusingPage : public CPreferencesPage {
public:
    QString GetTitle() const override { return "Refusing"; }
    void Load(const Preferences&) override { ++loads; }
    bool Validate(QString* error) override {
        if (!refuse) return true;
        *error = "Not like this.";
        return false;
    }
    void Store(Preferences&) const override { ++stores; }

    bool refuse = false;
    int loads = 0;
    mutable int stores = 0;
};

TEST_F(PreferencesStore, DialogStoresEveryPageOnlyWhenAllAcceptTheirValues) {
    Preferences prefs(Path());
    prefs.SetFadeAllMs(3000);
    std::vector<QString> messages;
    mvui::SetMessageHandlerForTesting(
        [&](const QString& text, QMessageBox::Icon, QMessageBox::StandardButtons) {
            messages.push_back(text);
            return int(QMessageBox::Ok);
        });

    CPreferencesDlg dialog(prefs);
    auto* show = new CShowPrefsPage(&dialog);
    auto* refusing = new RefusingPage;
    dialog.AddPage(show);
    dialog.AddPage(refusing);
    EXPECT_EQ(refusing->loads, 1);
    EXPECT_EQ(show->GetFadeAllField()->value(), 3000);
    QSignalSpy applied(&dialog, &CPreferencesDlg::applied);

    show->GetFadeAllField()->setValue(1500);
    show->GetDoubleGoField()->setValue(250);
    refusing->refuse = true;
    EXPECT_FALSE(dialog.Apply());
    EXPECT_EQ(applied.count(), 0);
    EXPECT_EQ(prefs.GetFadeAllMs(), 3000);
    EXPECT_EQ(refusing->stores, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Not like this.");
    EXPECT_EQ(dialog.GetTabs()->currentWidget(), refusing);

    refusing->refuse = false;
    EXPECT_TRUE(dialog.Apply());
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(prefs.GetFadeAllMs(), 1500);
    EXPECT_EQ(prefs.GetDoubleGoMs(), 250);
    EXPECT_EQ(refusing->stores, 1);
    mvui::SetMessageHandlerForTesting({});
}

class PreferencesFrame : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }
    void SetUp() override {
        mvapp::OpenSettings().clear();
        ASSERT_TRUE(m_dir.isValid());
        m_doc.OnNewDocument();
    }

    QTemporaryDir m_dir;
    CMVDoc m_doc;
};

TEST_F(PreferencesFrame, EditMenuOpensTheDialogAndItsValuesReachTheProgramStore) {
    CMainFrame frame(&m_doc, nullptr);
    QAction* action = frame.GetAction(ID_EDIT_PREFERENCES);
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(frame.IsCommandEnabled(ID_EDIT_PREFERENCES));
    // In the Edit menu, with no key of its own: Ctrl+, stays the volume key for every cue.
    bool inEditMenu = false;
    for (QAction* menu : frame.menuBar()->actions()) {
        if (menu->text() == "&Edit") inEditMenu = menu->menu()->actions().contains(action);
    }
    EXPECT_TRUE(inEditMenu);
    EXPECT_FALSE(action->text().contains('\t'));

    std::unique_ptr<CPreferencesDlg> dialog(frame.CreatePreferencesDialog());
    auto* show = qobject_cast<CShowPrefsPage*>(dialog->FindPage("Show"));
    ASSERT_NE(show, nullptr);
    QSignalSpy applied(&frame, &CMainFrame::preferencesApplied);
    show->GetDoubleGoField()->setValue(400);
    ASSERT_TRUE(dialog->Apply());
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(Preferences().GetDoubleGoMs(), 400);
    EXPECT_EQ(frame.GetPreferences().GetDoubleGoMs(), 400);
}

TEST_F(PreferencesFrame, CommandsNameWhetherAKeyAMenuOrAButtonGaveThem) {
    const QString tone = m_dir.filePath("tone.wav");
    ASSERT_TRUE(viewtest::WriteTone(tone, 3000));
    for (int i = 0; i < 4; ++i) viewtest::AddCue(m_doc, tone, CQRecord::kTypeMultiple);
    CMainFrame frame(&m_doc, nullptr);
    frame.GetView()->OnInitialUpdate();
    frame.show();
    std::vector<ShowAction> actions;
    QObject::connect(frame.GetView(), &CMVView::showAction, &frame,
                     [&](const ShowAction& a) { actions.push_back(a); });
    frame.GetView()->SelectRows({0}, 0);

    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_GO, Qt::NoModifier));
    frame.UpdateCommandUI();
    frame.GetAction(ID_AUDIO_GO)->trigger();
    auto* button = qobject_cast<QToolButton*>(
        frame.GetToolBar()->widgetForAction(frame.GetAction(ID_AUDIO_GO)));
    ASSERT_NE(button, nullptr);
    frame.UpdateCommandUI();
    QTest::mouseClick(button, Qt::LeftButton);
    // A menu item after the button: the button's mark is gone by then.
    QTest::qWait(10);
    frame.GetAction(ID_AUDIO_GO)->trigger();
    ASSERT_TRUE(frame.DispatchCommand(ID_AUDIO_STOPALL, Qt::NoModifier,
                                      CommandSource::FromOsc("10.1.2.3")));

    ASSERT_EQ(actions.size(), 5u);
    EXPECT_EQ(actions[0].source.LogText(), "key");
    EXPECT_EQ(actions[1].source.LogText(), "menu");
    EXPECT_EQ(actions[2].source.LogText(), "button");
    EXPECT_EQ(actions[3].source.LogText(), "menu");
    EXPECT_EQ(actions[4].source.LogText(), "osc 10.1.2.3");
    EXPECT_EQ(actions[4].kind, ShowAction::Kind::StopAll);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.GetView()->GetOwnedPlayerCount() == 0; }, 3000));
}

}  // namespace
