#pragma once

#include <QDialog>
#include <QList>

class CPreferencesPage;
class Preferences;
class QDialogButtonBox;
class QTabWidget;

// Edit > Preferences...: one tab per concern (a CPreferencesPage each). OK and Apply check every
// page, store every page's values and sync the store, then emit `applied` so that the program
// takes the new values at once; OK also closes. Cancel stores nothing. A page that refuses its
// values is brought forward with the message, and nothing is stored. UI thread.
class CPreferencesDlg : public QDialog {
    Q_OBJECT

public:
    CPreferencesDlg(Preferences& prefs, QWidget* parent = nullptr);

    // Adds a page (the dialog owns it) and shows the stored values on it.
    void AddPage(CPreferencesPage* page);
    QList<CPreferencesPage*> GetPages() const { return m_pages; }
    // The page whose title is `title`, or null.
    CPreferencesPage* FindPage(const QString& title) const;
    // Brings the page titled `title` forward; false when there is none.
    bool ShowPage(const QString& title);

    // Validates and stores every page; returns false (nothing stored) when a page refuses its
    // values or the store cannot be written, after telling the operator.
    bool Apply();

    QTabWidget* GetTabs() const { return m_pTabs; }

signals:
    // The stored values changed through this dialog.
    void applied();

public slots:
    void accept() override;

private:
    Preferences& m_prefs;
    QTabWidget* m_pTabs = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
    QList<CPreferencesPage*> m_pages;
};
