#include "shell/CPreferencesDlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/CPreferencesPage.h"
#include "shell/Preferences.h"
#include "view/MessageBox.h"

CPreferencesDlg::CPreferencesDlg(Preferences& prefs, QWidget* parent)
    : QDialog(parent), m_prefs(prefs) {
    setObjectName(QStringLiteral("PreferencesDialog"));
    setWindowTitle(tr("Preferences"));
    auto* layout = new QVBoxLayout(this);
    m_pTabs = new QTabWidget(this);
    layout->addWidget(m_pTabs);
    m_pButtons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    layout->addWidget(m_pButtons);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &CPreferencesDlg::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &CPreferencesDlg::reject);
    connect(m_pButtons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &CPreferencesDlg::Apply);
}

void CPreferencesDlg::AddPage(CPreferencesPage* page) {
    if (page == nullptr) return;
    page->Load(m_prefs);
    m_pages.append(page);
    m_pTabs->addTab(page, page->GetTitle());
}

CPreferencesPage* CPreferencesDlg::FindPage(const QString& title) const {
    for (CPreferencesPage* page : m_pages) {
        if (page->GetTitle() == title) return page;
    }
    return nullptr;
}

bool CPreferencesDlg::ShowPage(const QString& title) {
    CPreferencesPage* page = FindPage(title);
    if (page == nullptr) return false;
    m_pTabs->setCurrentWidget(page);
    return true;
}

bool CPreferencesDlg::Apply() {
    for (CPreferencesPage* page : m_pages) {
        QString error;
        if (page->Validate(&error)) continue;
        // The page comes forward and checks once more, so that the field it focuses is on
        // screen with the message.
        m_pTabs->setCurrentWidget(page);
        page->Validate(&error);
        if (!error.isEmpty()) mvui::ShowMessage(this, error, QMessageBox::Warning);
        return false;
    }
    for (CPreferencesPage* page : m_pages) page->Store(m_prefs);
    if (!m_prefs.Sync()) {
        mvui::ShowMessage(this, tr("The preferences could not be saved."), QMessageBox::Warning);
        return false;
    }
    emit applied();
    return true;
}

void CPreferencesDlg::accept() {
    if (Apply()) QDialog::accept();
}
