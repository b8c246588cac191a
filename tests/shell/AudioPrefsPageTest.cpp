// The Audio page of Preferences: the stored choice of API and devices, shown and stored back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QTemporaryDir>

#include "shell/CAudioPrefsPage.h"
#include "shell/Preferences.h"

namespace {

QStringList Rows(const QListWidget* list, bool checkedOnly = false) {
    QStringList rows;
    for (int i = 0; i < list->count(); ++i) {
        if (checkedOnly && list->item(i)->checkState() != Qt::Checked) continue;
        rows << list->item(i)->text();
    }
    return rows;
}

}  // namespace

// Chosen devices come first in their order, the others found after them unused, a chosen one
// that is not here is shown as missing; reordering and unticking store the new choice, and
// using every device in the order found stores no list (so a device plugged in later is used).
TEST(AudioPrefsPage, ShowsAndStoresTheDevicesUsedInChannelOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Preferences prefs(dir.filePath("prefs.ini"));
    prefs.SetAudioBackend("jack");
    prefs.SetAudioDevices({"Stage", "Gone", "Desk"});

    CAudioPrefsPage page({"Desk", "Interface", "Stage"});
    page.Load(prefs);
    EXPECT_EQ(page.GetBackendField()->currentText(), "JACK");
    QListWidget* list = page.GetDeviceList();
    EXPECT_EQ(Rows(list), (QStringList{"Stage", "Gone (missing)", "Desk", "Interface"}));
    EXPECT_EQ(Rows(list, true), (QStringList{"Stage", "Gone (missing)", "Desk"}));

    list->item(1)->setCheckState(Qt::Unchecked);  // drop the missing one
    list->item(3)->setCheckState(Qt::Checked);    // use the interface
    page.GetBackendField()->setCurrentIndex(0);
    page.Store(prefs);
    EXPECT_EQ(prefs.GetAudioBackend(), "auto");
    EXPECT_EQ(prefs.GetAudioDevices(), (QStringList{"Stage", "Desk", "Interface"}));

    // Every device, in the order found: nothing stored.
    CAudioPrefsPage fresh({"Desk", "Interface", "Stage"});
    prefs.SetAudioDevices({});
    fresh.Load(prefs);
    EXPECT_EQ(Rows(fresh.GetDeviceList(), true), (QStringList{"Desk", "Interface", "Stage"}));
    fresh.Store(prefs);
    EXPECT_TRUE(prefs.GetAudioDevices().isEmpty());
}
