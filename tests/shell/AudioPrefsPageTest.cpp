// The Audio page of Preferences: the stored choice of API and devices, shown and stored back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QSettings>
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

// Each chosen device's outputs are stored beside its name: the devices found with the outputs
// they have, a missing one with what it had when last seen. A list stored before the numbers
// (or with numbers that are no counts) still reads, each name with 2 outputs.
TEST(AudioPrefsPage, KeepsEachChosenDevicesOutputsForWhenItIsMissing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("prefs.ini");
    using Device = Preferences::AudioDevice;
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue("Audio/Devices", QStringList{"Desk", "", "Studio Interface", "Radio"});
    }
    Preferences prefs(path);
    EXPECT_EQ(prefs.GetAudioDeviceChoice(),
              (QList<Device>{{"Desk", 2}, {"Studio Interface", 2}, {"Radio", 2}}));
    {
        QSettings raw(path, QSettings::IniFormat);
        // One count per stored name, the empty name's too; bad ones read as 2.
        raw.setValue("Audio/DeviceOutputs", QStringList{"4", "9", "16", "0x10", "8"});
    }
    Preferences reread(path);
    EXPECT_EQ(reread.GetAudioDeviceChoice(),
              (QList<Device>{{"Desk", 4}, {"Studio Interface", 16}, {"Radio", 2}}));
    EXPECT_EQ(reread.GetAudioDevices(), (QStringList{"Desk", "Studio Interface", "Radio"}));

    // Desk is here with 8 outputs now; the interface is missing and keeps its 16.
    CAudioPrefsPage page({"Desk", "Laptop"}, {{"Desk", 8}, {"Laptop", 2}});
    page.Load(reread);
    EXPECT_EQ(Rows(page.GetDeviceList(), true),
              (QStringList{"Desk", "Studio Interface (missing)", "Radio (missing)"}));
    page.Store(reread);
    EXPECT_EQ(reread.GetAudioDeviceChoice(),
              (QList<Device>{{"Desk", 8}, {"Studio Interface", 16}, {"Radio", 2}}));

    // Out of range counts are clamped when stored; names set alone drop the stale counts.
    reread.SetAudioDeviceChoice({{"Big", 500}, {"", 4}, {"Small", -3}});
    EXPECT_EQ(reread.GetAudioDeviceChoice(), (QList<Device>{{"Big", 64}, {"Small", 1}}));
    reread.SetAudioDevices({"Small", "Big"});
    EXPECT_EQ(reread.GetAudioDeviceChoice(), (QList<Device>{{"Small", 2}, {"Big", 2}}));
}
