#pragma once

#include "shell/CPreferencesPage.h"

class QSpinBox;

// Preferences, "Show": the live-safety values of a performance (the double-Go guard and the time
// Fade All takes). UI thread.
class CShowPrefsPage : public CPreferencesPage {
    Q_OBJECT

public:
    explicit CShowPrefsPage(QWidget* parent = nullptr);

    QString GetTitle() const override { return tr("Show"); }
    void Load(const Preferences& prefs) override;
    void Store(Preferences& prefs) const override;

    QSpinBox* GetDoubleGoField() const { return m_pDoubleGo; }
    QSpinBox* GetFadeAllField() const { return m_pFadeAll; }

private:
    QSpinBox* m_pDoubleGo = nullptr;
    QSpinBox* m_pFadeAll = nullptr;
};
