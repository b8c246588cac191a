#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class CMVView;
class CMVDoc;
class QLabel;
class QPushButton;
class QTableWidget;

// File > Check Show...: every problem the show check found (row, ID, description, what is
// wrong) with a summary line, kept up to date while it stays open. Double-clicking a problem
// selects its row; Find Missing Files... looks for missing sound files by name in the list's
// folder and its subfolders and in a folder the operator chooses. UI thread only.
class CCheckShowDlg : public QDialog {
    Q_OBJECT
public:
    CCheckShowDlg(CMVView* view, CMVDoc* doc, QWidget* parent = nullptr);

    // Tests stand in for the folder chooser: the function returns the chosen folder, or an
    // empty string for Cancel. An empty function restores the real dialog.
    using FolderChooser = std::function<QString(QWidget* parent)>;
    static void SetFolderChooserForTesting(FolderChooser chooser);

    // Re-points the cues whose files are missing at files of the same name (any letter case)
    // found under `folders` (searched with their subfolders, in order); returns how many
    // files were found. Marks the document modified when any cue changed.
    int FindMissingFiles(const QStringList& folders, QStringList* stillMissing);

    QTableWidget* GetTable() const { return m_pTable; }
    QString GetSummary() const;

private:
    void Refill();
    void OnFindMissing();

    CMVView* m_pView;
    CMVDoc* m_pDoc;
    QLabel* m_pSummary = nullptr;
    QTableWidget* m_pTable = nullptr;
    QPushButton* m_pFindMissing = nullptr;
};
