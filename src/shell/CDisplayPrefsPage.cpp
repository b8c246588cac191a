#include "shell/CDisplayPrefsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>

#include "shell/Preferences.h"

CDisplayPrefsPage::CDisplayPrefsPage(QWidget* parent) : CPreferencesPage(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_pDarkTheme = new QCheckBox(tr("&Dark theme"), this);
    m_pDarkTheme->setObjectName(QStringLiteral("DarkTheme"));
    form->addRow(QString(), m_pDarkTheme);

    m_pFontPoints = new QSpinBox(this);
    m_pFontPoints->setObjectName(QStringLiteral("ListFontPoints"));
    // 0 is the desktop's size; the step below the smallest size goes straight to it.
    m_pFontPoints->setRange(Preferences::kMinListFontPoints - 1, Preferences::kMaxListFontPoints);
    m_pFontPoints->setSuffix(tr(" pt"));
    m_pFontPoints->setSpecialValueText(tr("Desktop size"));
    form->addRow(tr("Cue list &font size"), m_pFontPoints);

    m_pShowPanel = new QCheckBox(tr("Show the show &panel"), this);
    m_pShowPanel->setObjectName(QStringLiteral("ShowPanel"));
    form->addRow(QString(), m_pShowPanel);
    layout->addStretch(1);
}

void CDisplayPrefsPage::Load(const Preferences& prefs) {
    m_pDarkTheme->setChecked(prefs.GetDarkTheme());
    const int points = prefs.GetListFontPoints();
    m_pFontPoints->setValue(points == 0 ? m_pFontPoints->minimum() : points);
    m_pShowPanel->setChecked(prefs.GetShowPanel());
}

void CDisplayPrefsPage::Store(Preferences& prefs) const {
    prefs.SetDarkTheme(m_pDarkTheme->isChecked());
    const int points = m_pFontPoints->value();
    prefs.SetListFontPoints(points < Preferences::kMinListFontPoints ? 0 : points);
    prefs.SetShowPanel(m_pShowPanel->isChecked());
}
