#pragma once

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
    // `found`: the devices the running program has, in channel order.
    explicit CAudioPrefsPage(QStringList found, QWidget* parent = nullptr);

    QString GetTitle() const override { return tr("Audio"); }
    void Load(const Preferences& prefs) override;
    void Store(Preferences& prefs) const override;

    QComboBox* GetBackendField() const { return m_pBackend; }
    QListWidget* GetDeviceList() const { return m_pDevices; }

private:
    void Move(int delta);

    QStringList m_found;
    QComboBox* m_pBackend = nullptr;
    QListWidget* m_pDevices = nullptr;
    QPushButton* m_pUp = nullptr;
    QPushButton* m_pDown = nullptr;
};
