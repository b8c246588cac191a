// The main frame's show folder commands: File > Check Show... and File > Collect Show Folder...

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

#include "cuelist/CMVDoc.h"
#include "cuelist/ShowCollect.h"
#include "shell/CCheckShowDlg.h"
#include "shell/CMainFrame.h"
#include "view/CMVView.h"
#include "view/MessageBox.h"

namespace {

std::function<QString(QWidget*)>& CollectFolderChooser() {
    static std::function<QString(QWidget*)> chooser;
    return chooser;
}

}  // namespace

void CMainFrame::SetCollectFolderChooserForTesting(std::function<QString(QWidget*)> chooser) {
    CollectFolderChooser() = std::move(chooser);
}

void CMainFrame::OnFileCheckShow() {
    if (m_pView == nullptr || m_pDoc == nullptr) return;
    if (m_pCheckShowDlg == nullptr) m_pCheckShowDlg = new CCheckShowDlg(m_pView, m_pDoc, this);
    m_pCheckShowDlg->show();
    m_pCheckShowDlg->raise();
    m_pCheckShowDlg->activateWindow();
}

void CMainFrame::OnFileCollect() {
    if (m_pDoc == nullptr) return;
    const QString folder =
        CollectFolderChooser()
            ? CollectFolderChooser()(this)
            : QFileDialog::getExistingDirectory(this, tr("Collect Show Folder: an empty folder"));
    if (folder.isEmpty()) return;  // cancelled
    const QString path = m_pDoc->GetPathName();
    const QString listName =
        path.isEmpty() ? m_pDoc->GetTitle() + QStringLiteral(".MVL") : QFileInfo(path).fileName();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const showcollect::Result result = showcollect::Collect(*m_pDoc, listName, folder);
    QApplication::restoreOverrideCursor();
    if (!result.ok) {
        mvui::ShowMessage(this, result.error, QMessageBox::Warning);
        return;
    }
    QString text =
        tr("The list and %n sound file(s) were copied into %1.", nullptr, result.filesCopied)
            .arg(QFileInfo(result.listPath).absolutePath());
    if (!result.missing.isEmpty()) {
        text += QLatin1Char('\n') + tr("These files are missing and were not collected:") +
                QLatin1Char('\n') + result.missing.join(QLatin1Char('\n'));
    }
    mvui::ShowMessage(this, text,
                      result.missing.isEmpty() ? QMessageBox::Information : QMessageBox::Warning);
}
