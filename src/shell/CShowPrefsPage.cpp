#include "shell/CShowPrefsPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "shell/Preferences.h"

CShowPrefsPage::CShowPrefsPage(QWidget* parent) : CPreferencesPage(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_pDoubleGo = new QSpinBox(this);
    m_pDoubleGo->setObjectName(QStringLiteral("DoubleGoMs"));
    m_pDoubleGo->setRange(0, Preferences::kMaxDoubleGoMs);
    m_pDoubleGo->setSingleStep(50);
    m_pDoubleGo->setSuffix(tr(" ms"));
    m_pDoubleGo->setSpecialValueText(tr("Off"));
    form->addRow(tr("Ignore a &Go within"), m_pDoubleGo);
    auto* doubleGoNote =
        new QLabel(tr("A Go that follows the previous one this quickly is taken for a nervous "
                      "double press and ignored. Off: every Go counts."),
                   this);
    doubleGoNote->setWordWrap(true);
    form->addRow(QString(), doubleGoNote);

    m_pFadeAll = new QSpinBox(this);
    m_pFadeAll->setObjectName(QStringLiteral("FadeAllMs"));
    m_pFadeAll->setRange(0, Preferences::kMaxFadeAllMs);
    m_pFadeAll->setSingleStep(100);
    m_pFadeAll->setSuffix(tr(" ms"));
    form->addRow(tr("&Fade All takes"), m_pFadeAll);
    layout->addStretch(1);
}

void CShowPrefsPage::Load(const Preferences& prefs) {
    m_pDoubleGo->setValue(prefs.GetDoubleGoMs());
    m_pFadeAll->setValue(prefs.GetFadeAllMs());
}

void CShowPrefsPage::Store(Preferences& prefs) const {
    prefs.SetDoubleGoMs(m_pDoubleGo->value());
    prefs.SetFadeAllMs(m_pFadeAll->value());
}
