// The OSC, MIDI and Backup pages of Preferences and the remote-control values they store: what
// an operator or an installer may type, and what reaches the store.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include "shell/CBackupPrefsPage.h"
#include "shell/CMidiPrefsPage.h"
#include "shell/COscPrefsPage.h"
#include "shell/Preferences.h"

namespace {

class RemotePrefs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_prefs = std::make_unique<Preferences>(m_dir.filePath("prefs.ini"));
    }
    void Raw(const QString& key, const QVariant& value) {
        QSettings raw(m_dir.filePath("prefs.ini"), QSettings::IniFormat);
        raw.setValue(key, value);
    }
    QTemporaryDir m_dir;
    std::unique_ptr<Preferences> m_prefs;
};

TEST_F(RemotePrefs, MscFormatAndMappingsReadStrictly) {
    EXPECT_EQ(m_prefs->GetMidiMscCommandFormat(), Preferences::kMscFormatSound);
    for (const QVariant& bad : {QVariant("junk"), QVariant(50), QVariant(-1)}) {
        Raw(Preferences::kMidiMscCommandFormat, bad);
        EXPECT_EQ(Preferences(m_dir.filePath("prefs.ini")).GetMidiMscCommandFormat(),
                  Preferences::kMscFormatSound);
    }
    Raw(Preferences::kMidiMscCommandFormat, 127);
    EXPECT_EQ(Preferences(m_dir.filePath("prefs.ini")).GetMidiMscCommandFormat(), 127);

    // Never stored: the defaults apply; stored empty: the operator removed them all.
    EXPECT_FALSE(m_prefs->GetMidiMappings().has_value());
    m_prefs->SetMidiMappings({});
    m_prefs->Sync();
    const auto none = Preferences(m_dir.filePath("prefs.ini")).GetMidiMappings();
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->isEmpty());
}

TEST_F(RemotePrefs, OscPageRefusesNamesWhereAddressesBelongAndStoresWhatItShows) {
    COscPrefsPage page;
    page.Load(*m_prefs);
    EXPECT_FALSE(page.GetEnabledField()->isChecked());
    EXPECT_EQ(page.GetPortField()->value(), 53000);
    QString error;
    page.GetInterfaceField()->setText("eth0");
    EXPECT_FALSE(page.Validate(&error));
    page.GetInterfaceField()->setText("192.168.1.20");
    page.GetAllowedField()->setPlainText("10.0.0.1\nlighting-desk");
    EXPECT_FALSE(page.Validate(&error));
    EXPECT_TRUE(error.contains("lighting-desk"));
    page.GetAllowedField()->setPlainText("10.0.0.1, ::1");
    page.GetEnabledField()->setChecked(true);
    page.GetPasscodeField()->setText("pw");
    ASSERT_TRUE(page.Validate(&error));
    page.Store(*m_prefs);
    EXPECT_TRUE(m_prefs->GetOscEnabled());
    EXPECT_EQ(m_prefs->GetOscInterface(), "192.168.1.20");
    EXPECT_EQ(m_prefs->GetOscAllowedSenders(), QStringList({"10.0.0.1", "::1"}));
    EXPECT_EQ(m_prefs->GetOscPasscode(), "pw");
}

TEST_F(RemotePrefs, BackupPageTakesHostAndPortOnly) {
    CBackupPrefsPage page;
    page.Load(*m_prefs);
    QString error;
    page.GetPeersField()->setPlainText("backup-mac");
    EXPECT_FALSE(page.Validate(&error));
    page.GetPeersField()->setPlainText("10.0.0.2:70000");
    EXPECT_FALSE(page.Validate(&error));
    page.GetPeersField()->setPlainText("10.0.0.2:53000\n[::1]:53001");
    ASSERT_TRUE(page.Validate(&error));
    page.Store(*m_prefs);
    EXPECT_EQ(m_prefs->GetBackupPeers(), QStringList({"10.0.0.2:53000", "[::1]:53001"}));
}

TEST_F(RemotePrefs, MidiPageShowsTheDefaultsAndRefusesIncompleteMappings) {
    CMidiPrefsPage page(nullptr);
    page.Load(*m_prefs);
    EXPECT_FALSE(page.GetLearnButton()->isEnabled());
    ASSERT_EQ(page.GetMappings().size(), 2);
    EXPECT_EQ(page.GetMappings()[0].ToText(), "note any 60 0 /go");
    QString error;
    page.GetDeviceIdField()->setValue(115);
    EXPECT_FALSE(page.Validate(&error));
    page.GetDeviceIdField()->setValue(12);
    QTableWidget* table = page.GetMappingTable();
    table->item(1, 4)->setText("/live/kill 9");
    EXPECT_FALSE(page.Validate(&error));
    EXPECT_TRUE(error.contains("Mapping 2"));
    table->item(1, 0)->setText("Control Change");
    table->item(1, 1)->setText("3");
    table->item(1, 3)->setText("64");
    table->item(1, 4)->setText("/live/kill 1");
    ASSERT_TRUE(page.Validate(&error)) << error.toStdString();
    page.GetFormatField()->setCurrentIndex(1);
    page.Store(*m_prefs);
    EXPECT_EQ(m_prefs->GetMidiMscDeviceId(), 12);
    EXPECT_EQ(m_prefs->GetMidiMscCommandFormat(), 127);
    EXPECT_EQ(*m_prefs->GetMidiMappings(),
              QStringList({"note any 60 0 /go", "cc 3 61 64 /live/kill 1"}));
}

}  // namespace
