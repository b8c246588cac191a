#pragma once

#include "shell/CPreferencesPage.h"

class QCheckBox;
class QSpinBox;

// Preferences, "Display": how the window looks in a dark booth (the dark theme, the cue list's
// font size and whether the show panel is shown). UI thread.
class CDisplayPrefsPage : public CPreferencesPage {
    Q_OBJECT

public:
    explicit CDisplayPrefsPage(QWidget* parent = nullptr);

    QString GetTitle() const override { return tr("Display"); }
    void Load(const Preferences& prefs) override;
    void Store(Preferences& prefs) const override;

    QCheckBox* GetDarkThemeField() const { return m_pDarkTheme; }
    QSpinBox* GetFontPointsField() const { return m_pFontPoints; }
    QCheckBox* GetShowPanelField() const { return m_pShowPanel; }

private:
    QCheckBox* m_pDarkTheme = nullptr;
    QSpinBox* m_pFontPoints = nullptr;
    QCheckBox* m_pShowPanel = nullptr;
};
