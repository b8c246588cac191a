#pragma once

#include <QHash>
#include <QStringList>

#include "shell/CPreferencesPage.h"

class QComboBox;
class QListWidget;
class QPushButton;

// Preferences, "Audio": the sound API and, for each device, whether it is used and in which
// order (its channels are numbered in that order). Applied at the next start; MARVANE_AUDIO,
// when set, overrides it. UI thread.
class CAudioPrefsPage : public CPreferencesPage {
    Q_OBJECT

public:
    // `found`: the devices the running program has, in channel order; `outputs`: how many
    // outputs each has (2 when not given), stored so that a device missing at a later start
    // keeps as many channels.
    explicit CAudioPrefsPage(QStringList found, QWidget* parent = nullptr);
    CAudioPrefsPage(QStringList found, QHash<QString, int> outputs, QWidget* parent = nullptr);

    QString GetTitle() const override { return tr("Audio"); }
    void Load(const Preferences& prefs) override;
    void Store(Preferences& prefs) const override;

    QComboBox* GetBackendField() const { return m_pBackend; }
    QListWidget* GetDeviceList() const { return m_pDevices; }

private:
    void Move(int delta);

    QStringList m_found;
    QHash<QString, int> m_outputs;  // of the devices found, and as stored for the others
    QComboBox* m_pBackend = nullptr;
    QListWidget* m_pDevices = nullptr;
    QPushButton* m_pUp = nullptr;
    QPushButton* m_pDown = nullptr;
};
