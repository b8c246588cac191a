// The Cue Settings dialog on the offscreen platform: data exchange in both directions, the checks
// with their messages and focus, the channel list, Browse and CQRecord::EditSettings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <vector>

#include "cuelist/CQRecord.h"
#include "shell/CCueSettingsDlg.h"
#include "view/MessageBox.h"

namespace {

struct Message {
    QString text;
    QMessageBox::Icon icon;
};

class CueSettingsDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons) {
                m_messages.push_back({text, icon});
                return int(QMessageBox::Ok);
            });
    }
    void TearDown() override {
        mvui::SetMessageHandlerForTesting({});
        CCueSettingsDlg::SetModalRunnerForTesting({});
        CCueSettingsDlg::SetFileChooserForTesting({});
    }

    static QLineEdit* Edit(QWidget& dlg, const char* name) {
        auto* edit = dlg.findChild<QLineEdit*>(QLatin1String(name));
        EXPECT_NE(edit, nullptr) << name;
        return edit;
    }

    // Runs DoModal on a dialog with the two test channels; `act` types into the open dialog and
    // presses OK or Cancel.
    int Run(CCueSettingsDlg& dlg, std::function<void(CCueSettingsDlg&)> act) {
        dlg.SetChannelNames({"0 - Left desk", "1 - Right desk"});
        CCueSettingsDlg::SetModalRunnerForTesting([act](CCueSettingsDlg& d) {
            act(d);
            return d.result();
        });
        return dlg.DoModal();
    }

    // Types `text` into field `name`, presses OK, and expects it to be refused with `message`,
    // the focus on the field and its whole text selected.
    void ExpectRefused(const char* name, const QString& text, const QString& message) {
        SCOPED_TRACE(name);
        m_messages.clear();
        CCueSettingsDlg dlg;
        QLineEdit* field = nullptr;
        const int result = Run(dlg, [&](CCueSettingsDlg& d) {
            field = Edit(d, name);
            field->setText(text);
            d.findChild<QPushButton*>("okButton")->click();
        });
        EXPECT_EQ(result, QDialog::Rejected);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].text, message);
        EXPECT_EQ(m_messages[0].icon, QMessageBox::Warning);
        EXPECT_EQ(dlg.focusWidget(), field);
        EXPECT_EQ(field->selectedText(), text);
    }

    std::vector<Message> m_messages;
};

TEST_F(CueSettingsDlgTest, EachFieldCheckShowsItsMessageAndReturnsToTheField) {
    ExpectRefused("volumeEdit", "3", "Please enter an integer between -100 and 0.");
    ExpectRefused("volumeEdit", "-101", "Please enter an integer between -100 and 0.");
    ExpectRefused("panEdit", "abc", "Please enter an integer.");
    ExpectRefused("panEdit", "101", "Please enter an integer between -100 and 100.");
    ExpectRefused("panEdit", "99999999999", "Please enter an integer between -100 and 100.");
    ExpectRefused("fadeInEdit", "1,5", "Please enter a number.");
    ExpectRefused("fadeOutEdit", "60.5", "Please enter a number between 0 and 60.");
    ExpectRefused("fadeOutEdit", "-1", "Please enter a number between 0 and 60.");
    ExpectRefused("fadeInEdit", "", "Please enter a number.");
    ExpectRefused("volumeEdit", "-0", "Please enter an integer.");
}

TEST_F(CueSettingsDlgTest, AcceptsTheRangeBoundsAndStoresTheValues) {
    CCueSettingsDlg dlg;
    const int result = Run(dlg, [&](CCueSettingsDlg& d) {
        Edit(d, "volumeEdit")->setText(" -100 ");
        Edit(d, "panEdit")->setText("+100");
        Edit(d, "fadeInEdit")->setText("60");
        Edit(d, "fadeOutEdit")->setText("2.5e1");
        d.findChild<QRadioButton*>("automaticRadio")->setChecked(true);
        d.findChild<QCheckBox*>("loopedCheck")->setChecked(true);
        d.findChild<QComboBox*>("channelCombo")->setCurrentIndex(1);
        d.findChild<QPushButton*>("okButton")->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(dlg.m_nVolume, -100);
    EXPECT_EQ(dlg.m_nPan, 100);
    EXPECT_DOUBLE_EQ(dlg.m_dFadeIn, 60.0);
    EXPECT_DOUBLE_EQ(dlg.m_dFadeOut, 25.0);
    EXPECT_EQ(dlg.m_nCueType, 3);
    EXPECT_EQ(dlg.m_bLooped, 1);
    EXPECT_EQ(dlg.m_bExclusive, 0);
    EXPECT_EQ(dlg.m_nChannel, 1);
}

TEST_F(CueSettingsDlgTest, TextLimitsStopTypingButLongerStoredTextsAreShownWholeAndRefused) {
    CCueSettingsDlg dlg;
    dlg.m_strNotes = QString(300, u'n');
    QLineEdit* id = nullptr;
    QLineEdit* notes = nullptr;
    const int result = Run(dlg, [&](CCueSettingsDlg& d) {
        id = Edit(d, "cueIdEdit");
        QTest::keyClicks(id, "ABCDEFGHIJKLMN");
        EXPECT_EQ(id->text(), "ABCDEFGHIJ");
        notes = Edit(d, "notesEdit");
        EXPECT_EQ(notes->text().size(), 300);
        // The operator can shorten the long text but not lengthen it.
        notes->setCursorPosition(300);
        QTest::keyClick(notes, Qt::Key_X);
        EXPECT_EQ(notes->text().size(), 300);
        QTest::keyClick(notes, Qt::Key_Backspace);
        EXPECT_EQ(notes->text().size(), 299);
        d.findChild<QPushButton*>("okButton")->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Please enter no more than 255 characters.");
    EXPECT_EQ(dlg.focusWidget(), notes);
    EXPECT_EQ(notes->selectedText().size(), 299);
}

TEST_F(CueSettingsDlgTest, FillsControlsFromMembersAndListsChannels) {
    CCueSettingsDlg dlg;
    dlg.m_strID = "Q010";
    dlg.m_strDescription = "Bell";
    dlg.m_strPath = "/show/Bell.wav";
    dlg.m_nCueType = 1;
    dlg.m_bExclusive = 1;
    dlg.m_nChannel = 5;  // beyond the two channels: nothing selected
    dlg.m_nVolume = -6;
    dlg.m_nPan = -20;
    dlg.m_dFadeIn = 1.5;
    dlg.m_dFadeOut = 5.0;
    Run(dlg, [&](CCueSettingsDlg& d) {
        EXPECT_EQ(Edit(d, "cueIdEdit")->text(), "Q010");
        EXPECT_EQ(Edit(d, "descriptionEdit")->text(), "Bell");
        EXPECT_EQ(Edit(d, "volumeEdit")->text(), "-6");
        EXPECT_EQ(Edit(d, "panEdit")->text(), "-20");
        EXPECT_EQ(Edit(d, "fadeInEdit")->text(), "1.5");
        EXPECT_EQ(Edit(d, "fadeOutEdit")->text(), "5");
        EXPECT_TRUE(d.findChild<QRadioButton*>("backgroundRadio")->isChecked());
        EXPECT_TRUE(d.findChild<QCheckBox*>("exclusiveCheck")->isChecked());
        EXPECT_FALSE(d.findChild<QCheckBox*>("loopedCheck")->isChecked());
        auto* combo = d.findChild<QComboBox*>("channelCombo");
        ASSERT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->itemText(1), "1 - Right desk");
        EXPECT_EQ(combo->currentIndex(), -1);
        EXPECT_EQ(d.findChild<QLabel*>("fileNameLabel")->text(), "/show/Bell.wav");
        d.findChild<QPushButton*>("okButton")->click();
    });
    EXPECT_EQ(dlg.m_nChannel, -1);  // OK without choosing a channel
}

TEST_F(CueSettingsDlgTest, TabVisitsFieldsInOrderAndMnemonicsReachTheirControls) {
    CCueSettingsDlg dlg;
    dlg.SetChannelNames({"0 - Out"});
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    const char* order[] = {"cueIdEdit",    "descriptionEdit", "exclusiveCheck", "loopedCheck",
                           "volumeEdit",   "panEdit",         "fadeInEdit",     "fadeOutEdit",
                           "notesEdit",    "channelCombo",    "okButton",       "cancelButton",
                           "browseButton", "cueIdEdit"};
    Edit(dlg, "cueIdEdit")->setFocus();
    for (const char* name : order) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QTest::keyClick(&dlg, Qt::Key_V, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "volumeEdit");
    QTest::keyClick(&dlg, Qt::Key_M, Qt::AltModifier);
    // A button's mnemonic clicks it after a short press animation.
    auto* multiple = dlg.findChild<QRadioButton*>("multipleRadio");
    EXPECT_TRUE(QTest::qWaitFor([&] { return multiple->isChecked(); }, 2000));
    QTest::keyClick(&dlg, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "notesEdit");
    dlg.hide();
}

TEST_F(CueSettingsDlgTest, EnterPressesTheFocusedButtonAndOtherwiseOk) {
    // Each case: the control that has the focus when Enter is pressed, and what follows.
    struct Case {
        const char* focus;
        int result;  // -1: the dialog stays open
        bool browsed;
    };
    const Case cases[] = {{"cueIdEdit", QDialog::Accepted, false},
                          {"okButton", QDialog::Accepted, false},
                          {"cancelButton", QDialog::Rejected, false},
                          {"browseButton", -1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focus);
        bool browsed = false;
        CCueSettingsDlg::SetFileChooserForTesting([&](QWidget*) {
            browsed = true;
            return QString();
        });
        CCueSettingsDlg dlg;
        dlg.m_strID = "Q7";
        bool finished = false;
        QObject::connect(&dlg, &QDialog::finished, [&] { finished = true; });
        Run(dlg, [&](CCueSettingsDlg& d) {
            d.show();
            d.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
            // The dialog opens with the focus on the cue ID, its text selected.
            EXPECT_EQ(QApplication::focusWidget(), Edit(d, "cueIdEdit"));
            EXPECT_EQ(Edit(d, "cueIdEdit")->selectedText(), "Q7");
            QWidget* target = d.findChild<QWidget*>(QLatin1String(c.focus));
            ASSERT_NE(target, nullptr);
            target->setFocus(Qt::TabFocusReason);
            QTest::keyClick(target, Qt::Key_Return);
            EXPECT_EQ(browsed, c.browsed);
            EXPECT_EQ(finished, c.result >= 0);
            if (c.result >= 0) {
                EXPECT_EQ(d.result(), c.result);
            } else {
                // Back in a field, Enter is OK's again.
                auto* id = Edit(d, "cueIdEdit");
                id->setFocus(Qt::TabFocusReason);
                QTest::keyClick(id, Qt::Key_Return);
                EXPECT_TRUE(finished);
                EXPECT_EQ(d.result(), QDialog::Accepted);
            }
            d.hide();
        });
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(CueSettingsDlgTest, BrowseRenamesOnlyADescriptionThatRepeatedTheFileName) {
    QStringList answers = {"/show/Thunder.wav", "/show/Rain.WAV", "", "/show/Wind.wav"};
    CCueSettingsDlg::SetFileChooserForTesting([&](QWidget*) { return answers.takeFirst(); });
    CCueSettingsDlg dlg;
    Run(dlg, [&](CCueSettingsDlg& d) {
        auto* description = Edit(d, "descriptionEdit");
        auto* label = d.findChild<QLabel*>("fileNameLabel");
        d.OnBrowse();  // no file and an empty description: takes the file's name
        EXPECT_EQ(description->text(), "Thunder");
        d.OnBrowse();
        EXPECT_EQ(description->text(), "Rain");
        EXPECT_EQ(label->text(), "/show/Rain.WAV");
        d.OnBrowse();  // cancelled: nothing changes
        EXPECT_EQ(label->text(), "/show/Rain.WAV");
        description->setText("rain");  // differs in case only: the operator's own
        d.OnBrowse();
        EXPECT_EQ(description->text(), "rain");
        EXPECT_EQ(label->text(), "/show/Wind.wav");
        d.reject();
    });
}

TEST_F(CueSettingsDlgTest, EditSettingsConvertsOnOkAndLeavesTheRecordAloneOnCancel) {
    CQRecord cue;
    cue.m_strID = "Q010";
    cue.m_strDescription = "Caf\xe9";  // Windows-1252 bytes, not UTF-8
    cue.m_strPath = "/show/cafe.wav";
    cue.m_dwFlags = 0x40000107u;  // an unknown type and a stray bit
    cue.m_nChannel = 9;

    CCueSettingsDlg::SetModalRunnerForTesting([](CCueSettingsDlg& d) {
        EXPECT_EQ(d.findChild<QLineEdit*>("descriptionEdit")->text(), QString::fromUtf8("Café"));
        d.findChild<QLineEdit*>("fadeInEdit")->setText("2.01");
        d.findChild<QLineEdit*>("cueIdEdit")->setText("Q011");
        d.findChild<QCheckBox*>("exclusiveCheck")->setChecked(true);
        d.reject();
        return d.result();
    });
    EXPECT_FALSE(cue.EditSettings());
    EXPECT_EQ(cue.m_strID, "Q010");
    EXPECT_EQ(cue.m_dwFadeIn, 0u);
    EXPECT_EQ(cue.m_dwFlags.load(), 0x40000107u);

    CCueSettingsDlg::SetModalRunnerForTesting([](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("fadeInEdit")->setText("2.01");
        d.findChild<QLineEdit*>("cueIdEdit")->setText("Q011");
        d.findChild<QCheckBox*>("exclusiveCheck")->setChecked(true);
        d.accept();
        return d.result();
    });
    EXPECT_TRUE(cue.EditSettings());
    EXPECT_EQ(cue.m_strID, "Q011");
    EXPECT_EQ(cue.m_strDescription, "Caf\xe9");  // untouched text keeps its bytes
    EXPECT_EQ(cue.m_dwFadeIn, 2009u);
    EXPECT_EQ(cue.m_dwFadeOut, 5000u);
    EXPECT_EQ(cue.m_dwFlags.load(), 0x10000007u);  // no type chosen: type kept, stray bit gone
    EXPECT_EQ(cue.m_nChannel, -1);                 // channel 9 was not in the list

    // Opened again, the dialog shows the truncated time.
    CCueSettingsDlg::SetModalRunnerForTesting([](CCueSettingsDlg& d) {
        EXPECT_EQ(d.findChild<QLineEdit*>("fadeInEdit")->text(), "2.009");
        d.findChild<QLineEdit*>("descriptionEdit")->setText(QString::fromUtf8("Café!"));
        d.findChild<QRadioButton*>("normalRadio")->setChecked(true);
        d.accept();
        return d.result();
    });
    EXPECT_TRUE(cue.EditSettings());
    EXPECT_EQ(cue.m_strDescription, QByteArray("Caf\xc3\xa9!"));  // edited: stored as UTF-8
    EXPECT_EQ(cue.m_dwFlags.load(), 0x10000000u);
    EXPECT_EQ(cue.m_dwFadeIn, 2009u);
}

TEST_F(CueSettingsDlgTest, OkWithoutTouchingTheTimesKeepsTheirMilliseconds) {
    CQRecord cue;
    cue.m_dwFadeIn = 1001;  // shown as 1.001, which reads back just below 1001
    cue.m_dwFadeOut = 59999;
    CCueSettingsDlg::SetModalRunnerForTesting([](CCueSettingsDlg& d) {
        EXPECT_EQ(d.findChild<QLineEdit*>("fadeInEdit")->text(), "1.001");
        d.findChild<QLineEdit*>("cueIdEdit")->setText("Q1");
        d.accept();
        return d.result();
    });
    EXPECT_TRUE(cue.EditSettings());
    EXPECT_EQ(cue.m_dwFadeIn, 1001u);
    EXPECT_EQ(cue.m_dwFadeOut, 59999u);

    // A time the operator types is truncated toward zero.
    CCueSettingsDlg::SetModalRunnerForTesting([](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("fadeInEdit")->setText("1.003");
        d.findChild<QLineEdit*>("fadeOutEdit")->setText("60");
        d.accept();
        return d.result();
    });
    EXPECT_TRUE(cue.EditSettings());
    EXPECT_EQ(cue.m_dwFadeIn, 1002u);
    EXPECT_EQ(cue.m_dwFadeOut, 60000u);
}

TEST_F(CueSettingsDlgTest, BrowseReachesTheCueOnlyThroughOk) {
    CCueSettingsDlg::SetFileChooserForTesting([](QWidget*) { return QString("/show/Rain.wav"); });
    CQRecord cue;
    cue.SetFilePath("/show/Thunder.wav");
    auto browseThen = [](bool ok) {
        return [ok](CCueSettingsDlg& d) {
            d.OnBrowse();
            EXPECT_EQ(d.findChild<QLineEdit*>("descriptionEdit")->text(), "Rain");
            ok ? d.accept() : d.reject();
            return d.result();
        };
    };
    CCueSettingsDlg::SetModalRunnerForTesting(browseThen(false));
    EXPECT_FALSE(cue.EditSettings());
    EXPECT_EQ(cue.m_strPath, "/show/Thunder.wav");
    EXPECT_EQ(cue.m_strDescription, "Thunder");

    CCueSettingsDlg::SetModalRunnerForTesting(browseThen(true));
    EXPECT_TRUE(cue.EditSettings());
    EXPECT_EQ(cue.m_strPath, "/show/Rain.wav");
    EXPECT_EQ(cue.m_strDescription, "Rain");
}

TEST_F(CueSettingsDlgTest, OkWithEveryFieldAtItsLimitReachesTheCueAndItsRow) {
    CQRecord cue;
    CCueSettingsDlg::SetModalRunnerForTesting([](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("cueIdEdit")->setText(QString(10, u'I'));
        d.findChild<QLineEdit*>("descriptionEdit")->setText(QString(255, u'd'));
        d.findChild<QLineEdit*>("notesEdit")->setText(QString(255, u'n'));
        d.findChild<QLineEdit*>("volumeEdit")->setText("-100");
        d.findChild<QLineEdit*>("panEdit")->setText("-100");
        d.findChild<QLineEdit*>("fadeInEdit")->setText("60");
        d.findChild<QLineEdit*>("fadeOutEdit")->setText("0");
        d.findChild<QRadioButton*>("backgroundRadio")->setChecked(true);
        d.findChild<QCheckBox*>("exclusiveCheck")->setChecked(true);
        d.findChild<QCheckBox*>("loopedCheck")->setChecked(true);
        d.accept();
        return d.result();
    });
    ASSERT_TRUE(cue.EditSettings());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(cue.m_nChannel, -1);  // no output device here: nothing could be chosen
    EXPECT_EQ(cue.m_strID, QByteArray(10, 'I'));
    EXPECT_EQ(cue.m_strDescription, QByteArray(255, 'd'));
    EXPECT_EQ(cue.m_strNotes, QByteArray(255, 'n'));
    EXPECT_EQ(cue.m_nVolume, -100);
    EXPECT_EQ(cue.m_nPan, -100);
    EXPECT_EQ(cue.m_dwFadeIn, 60000u);
    EXPECT_EQ(cue.m_dwFadeOut, 0u);
    EXPECT_EQ(cue.m_dwFlags.load(), 0x30000001u);
    EXPECT_EQ(cue.GetRowTexts().mid(3, 6),
              QStringList({"BXL", "-1", "-100dB", "L100", "60.0", "0.0"}));

    // The other ends of the ranges.
    CCueSettingsDlg::SetModalRunnerForTesting([](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("volumeEdit")->setText("0");
        d.findChild<QLineEdit*>("panEdit")->setText("100");
        d.findChild<QLineEdit*>("fadeOutEdit")->setText("60");
        d.findChild<QRadioButton*>("automaticRadio")->setChecked(true);
        d.findChild<QCheckBox*>("exclusiveCheck")->setChecked(false);
        d.accept();
        return d.result();
    });
    ASSERT_TRUE(cue.EditSettings());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(cue.GetRowTexts().mid(3, 6),
              QStringList({"AL", "-1", "Max", "R100", "60.0", "60.0"}));
}

}  // namespace

TEST(CueSettingsDlgFilter, SoundFilesFilterMatchesEverySoundExtensionInAnyCase) {
    const QString filter = CCueSettingsDlg::SoundFilesFilter();
    ASSERT_TRUE(filter.startsWith(QStringLiteral("Sound files (*.[Ww][Aa][Vv] ")));
    // The patterns as a file dialog applies them, one wildcard expression each.
    const QString inner = filter.section(QLatin1Char('('), 1).chopped(1);
    const auto matches = [&](const QString& name) {
        for (const QString& pattern : inner.split(QLatin1Char(' '))) {
            if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                    .match(name)
                    .hasMatch()) {
                return true;
            }
        }
        return false;
    };
    for (const char* name : {"a.wav", "B.Mp3", "c.FLAC", "d.ogg", "e.oga", "f.opus", "g.aif",
                             "h.AIFF", "i.aifc", "j.caf", "k.w64", "l.RF64"}) {
        EXPECT_TRUE(matches(QString::fromLatin1(name))) << name;
    }
    for (const char* name : {"a.wave", "b.txt", "mp3", "c.mp3.bak"}) {
        EXPECT_FALSE(matches(QString::fromLatin1(name))) << name;
    }
}
