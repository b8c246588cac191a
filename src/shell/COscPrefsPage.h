#pragma once

#include "shell/CPreferencesPage.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

// Preferences, "OSC": show control over the network. Off until the operator turns it on; the
// port, the interface to listen on, an optional passcode and the senders allowed. UI thread.
class COscPrefsPage : public CPreferencesPage {
    Q_OBJECT

public:
    explicit COscPrefsPage(QWidget* parent = nullptr);

    QString GetTitle() const override { return tr("OSC"); }
    void Load(const Preferences& prefs) override;
    bool Validate(QString* error) override;
    void Store(Preferences& prefs) const override;

    QCheckBox* GetEnabledField() const { return m_pEnabled; }
    QSpinBox* GetPortField() const { return m_pPort; }
    QLineEdit* GetInterfaceField() const { return m_pInterface; }
    QLineEdit* GetPasscodeField() const { return m_pPasscode; }
    QPlainTextEdit* GetAllowedField() const { return m_pAllowed; }

private:
    QStringList AllowedSenders() const;

    QCheckBox* m_pEnabled = nullptr;
    QSpinBox* m_pPort = nullptr;
    QLineEdit* m_pInterface = nullptr;
    QLineEdit* m_pPasscode = nullptr;
    QPlainTextEdit* m_pAllowed = nullptr;
};
