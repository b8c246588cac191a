#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "shell/ICommandTarget.h"

class CMVDoc;
class CRecentFileList;
class QWidget;

// The document side of the application: New, Open, Save, Save As and the recent files, with
// the "Save changes to %1?" prompt before the list is replaced or the program ends, and the
// messages of failed opens and saves. The document itself reads and writes the files.
// UI thread only.
class CDocManager : public ICommandTarget {
public:
    // The file dialogs' filter.
    static constexpr const char* kFilter = "Cue Lists (*.MVL *.mvl *.Mvl);;All Files (*)";
    static constexpr const char* kDefaultExtension = ".MVL";

    // `recent` may be null (no recent-file list). Neither is owned.
    CDocManager(CMVDoc* doc, CRecentFileList* recent);

    // The window that message boxes and file dialogs belong to.
    void SetParentWindow(QWidget* parent) { m_pParent = parent; }

    // Stand-ins for the file dialogs (tests): given the caption and the suggested path, they
    // return the chosen path or an empty string for Cancel.
    using FileChooser = std::function<QString(const QString& caption, const QString& suggested)>;
    void SetFileChoosersForTesting(FileChooser open, FileChooser save);

    // New: asks to save changes, then empties the list.
    bool OnFileNew();
    // Open...: asks for a file, then OpenDocumentFile.
    bool OnFileOpen();
    // Opens `path` (after asking to save changes). The list already open is not read again.
    // A failure is shown; a file that could not be read leaves a new, empty list.
    bool OpenDocumentFile(const QString& path);
    bool OnFileSave();
    bool OnFileSaveAs();
    // Opens recent file `index`; an entry that cannot be opened leaves the list.
    bool OnOpenRecentFile(int index);
    // When the list has unsaved changes: "Save changes to %1?" with Yes, No and Cancel.
    // Returns false when the operator cancelled or the save failed.
    bool SaveModified();

    // ICommandTarget: New, Open, Save, Save As and the recent files.
    bool OnCmdMsg(int id) override;
    std::optional<bool> OnUpdateCommand(int id) const override;
    bool CanCloseFrame() override { return SaveModified(); }
    QString GetRecentFileMenuText(int index) const override;

private:
    bool DoSave(const QString& path);
    void AddToRecentFiles(const QString& path);

    CMVDoc* m_pDoc;
    CRecentFileList* m_pRecent;
    QWidget* m_pParent = nullptr;
    FileChooser m_openChooser;
    FileChooser m_saveChooser;
};
