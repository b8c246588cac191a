#include "shell/CDocManager.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "cuelist/CMVDoc.h"
#include "shell/CRecentFileList.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"

namespace {

bool SamePath(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

}  // namespace

CDocManager::CDocManager(CMVDoc* doc, CRecentFileList* recent) : m_pDoc(doc), m_pRecent(recent) {}

void CDocManager::SetFileChoosersForTesting(FileChooser open, FileChooser save) {
    m_openChooser = std::move(open);
    m_saveChooser = std::move(save);
}

bool CDocManager::SaveModified() {
    if (!m_pDoc->IsModified()) return true;
    const int answer = mvui::ShowMessage(
        m_pParent, QStringLiteral("Save changes to %1?").arg(m_pDoc->GetTitle()),
        QMessageBox::Question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::Yes) return OnFileSave();
    return true;
}

bool CDocManager::OnFileNew() {
    if (!SaveModified()) return false;
    return m_pDoc->OnNewDocument();
}

bool CDocManager::OnFileOpen() {
    const QString caption = QStringLiteral("Open");
    QString path;
    if (m_openChooser) {
        path = m_openChooser(caption, QString());
    } else {
        path = QFileDialog::getOpenFileName(m_pParent, caption, QString(),
                                            QString::fromLatin1(kFilter));
    }
    if (path.isEmpty()) return false;
    return OpenDocumentFile(path);
}

bool CDocManager::OpenDocumentFile(const QString& path) {
    // The list already open is only brought forward, not read again.
    if (SamePath(path, m_pDoc->GetPathName())) return true;
    if (!SaveModified()) return false;
    QString error;
    if (!m_pDoc->OnOpenDocument(path, &error)) {
        mvui::ShowMessage(m_pParent, error, QMessageBox::Warning);
        return false;
    }
    AddToRecentFiles(m_pDoc->GetPathName());
    return true;
}

bool CDocManager::OnOpenRecentFile(int index) {
    if (!m_pRecent || index < 0 || index >= m_pRecent->GetSize()) return false;
    const QString path = m_pRecent->GetAt(index);
    if (SamePath(path, m_pDoc->GetPathName())) return true;
    if (!SaveModified()) return false;
    QString error;
    if (!m_pDoc->OnOpenDocument(path, &error)) {
        mvui::ShowMessage(m_pParent, error, QMessageBox::Warning);
        m_pRecent->Remove(index);
        m_pRecent->WriteList();
        return false;
    }
    AddToRecentFiles(m_pDoc->GetPathName());
    return true;
}

bool CDocManager::OnFileSave() {
    const QString path = m_pDoc->GetPathName();
    if (path.isEmpty()) return OnFileSaveAs();
    return DoSave(path);
}

bool CDocManager::OnFileSaveAs() {
    QString suggested = m_pDoc->GetPathName();
    if (suggested.isEmpty()) {
        suggested = m_pDoc->GetTitle() + QString::fromLatin1(kDefaultExtension);
    }
    const QString caption = QStringLiteral("Save As");
    QString path;
    if (m_saveChooser) {
        path = m_saveChooser(caption, suggested);
    } else {
        path = QFileDialog::getSaveFileName(m_pParent, caption, suggested,
                                            QString::fromLatin1(kFilter));
    }
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QString::fromLatin1(kDefaultExtension);
    return DoSave(path);
}

bool CDocManager::DoSave(const QString& path) {
    QString error;
    if (!m_pDoc->OnSaveDocument(path, &error)) {
        mvui::ShowMessage(m_pParent, error, QMessageBox::Warning);
        return false;
    }
    AddToRecentFiles(m_pDoc->GetPathName());
    return true;
}

void CDocManager::AddToRecentFiles(const QString& path) {
    if (!m_pRecent || path.isEmpty()) return;
    m_pRecent->Add(path);
    // Written at once as well as at exit, so that a crash does not lose it.
    m_pRecent->WriteList();
}

QString CDocManager::GetRecentFileMenuText(int index) const {
    return m_pRecent ? m_pRecent->GetMenuText(index) : QString();
}

bool CDocManager::OnCmdMsg(int id) {
    const std::optional<bool> enabled = OnUpdateCommand(id);
    if (!enabled) return false;
    if (!*enabled) return true;
    switch (id) {
        case ID_FILE_NEW:
            OnFileNew();
            break;
        case ID_FILE_OPEN:
            OnFileOpen();
            break;
        case ID_FILE_SAVE:
            OnFileSave();
            break;
        case ID_FILE_SAVE_AS:
            OnFileSaveAs();
            break;
        default:
            OnOpenRecentFile(id - ID_FILE_MRU_FILE1);
            break;
    }
    return true;
}

std::optional<bool> CDocManager::OnUpdateCommand(int id) const {
    switch (id) {
        case ID_FILE_NEW:
        case ID_FILE_OPEN:
        case ID_FILE_SAVE:
        case ID_FILE_SAVE_AS:
            return true;
        default:
            break;
    }
    if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFileCount)
        return m_pRecent && id - ID_FILE_MRU_FILE1 < m_pRecent->GetSize();
    return std::nullopt;
}
