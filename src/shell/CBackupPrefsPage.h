#pragma once

#include "shell/CPreferencesPage.h"

class QPlainTextEdit;

// Preferences, "Backup": the machines that follow this one (host:port of each), sent every
// operator action as OSC. UI thread.
class CBackupPrefsPage : public CPreferencesPage {
    Q_OBJECT

public:
    explicit CBackupPrefsPage(QWidget* parent = nullptr);

    QString GetTitle() const override { return tr("Backup"); }
    void Load(const Preferences& prefs) override;
    bool Validate(QString* error) override;
    void Store(Preferences& prefs) const override;

    QPlainTextEdit* GetPeersField() const { return m_pPeers; }

private:
    QStringList Peers() const;

    QPlainTextEdit* m_pPeers = nullptr;
};
