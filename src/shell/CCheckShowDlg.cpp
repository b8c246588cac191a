#include "shell/CCheckShowDlg.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "platform/text/AnsiText.h"
#include "platform/text/PathRules.h"
#include "view/CMVView.h"
#include "view/CueListEdit.h"
#include "view/MessageBox.h"
#include "view/ShowChecker.h"

namespace {

// A search of a chosen folder stops after this many entries (a whole disk would take minutes).
constexpr int kMaxEntriesSearched = 500000;

CCheckShowDlg::FolderChooser& TestFolderChooser() {
    static CCheckShowDlg::FolderChooser chooser;
    return chooser;
}

}  // namespace

void CCheckShowDlg::SetFolderChooserForTesting(FolderChooser chooser) {
    TestFolderChooser() = std::move(chooser);
}

CCheckShowDlg::CCheckShowDlg(CMVView* view, CMVDoc* doc, QWidget* parent)
    : QDialog(parent), m_pView(view), m_pDoc(doc) {
    setWindowTitle(tr("Check Show"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("CheckSummary"));
    layout->addWidget(m_pSummary);
    m_pTable = new QTableWidget(0, 4, this);
    m_pTable->setHorizontalHeaderLabels({tr("Row"), tr("ID"), tr("Description"), tr("Problem")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_pTable);
    auto* buttons = new QDialogButtonBox(this);
    m_pFindMissing = buttons->addButton(tr("Find Missing Files..."), QDialogButtonBox::ActionRole);
    QPushButton* recheck = buttons->addButton(tr("Check Again"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    resize(720, 360);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(m_pFindMissing, &QPushButton::clicked, this, &CCheckShowDlg::OnFindMissing);
    connect(recheck, &QPushButton::clicked, this, [this] { m_pView->RequestShowCheck(true); });
    connect(m_pView->GetShowChecker(), &ShowChecker::checked, this, &CCheckShowDlg::Refill);
    connect(m_pTable, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const int listRow = m_pTable->item(row, 0)->data(Qt::UserRole).toInt();
        if (listRow >= 0 && listRow < m_pView->GetRowCount()) {
            m_pView->SelectRows({listRow}, listRow);
            m_pView->scrollTo(m_pView->model()->index(listRow, 1));
        }
    });
    Refill();
    m_pView->RequestShowCheck(true);
}

QString CCheckShowDlg::GetSummary() const { return m_pSummary->text(); }

void CCheckShowDlg::Refill() {
    const showcheck::Report& report = m_pView->GetShowChecker()->GetReport();
    QString summary = report.Summary();
    if (!report.channelsChecked) summary += tr(" (no audio output here: channels not checked)");
    m_pSummary->setText(summary);
    m_pTable->setRowCount(static_cast<int>(report.problems.size()));
    for (int i = 0; i < report.problems.size(); ++i) {
        const showcheck::Problem& p = report.problems[i];
        auto* row = new QTableWidgetItem(QString::number(p.row + 1));
        row->setData(Qt::UserRole, p.row);
        m_pTable->setItem(i, 0, row);
        m_pTable->setItem(i, 1, new QTableWidgetItem(ToDisplayText(p.id)));
        m_pTable->setItem(i, 2, new QTableWidgetItem(ToDisplayText(p.description)));
        m_pTable->setItem(i, 3, new QTableWidgetItem(p.text));
    }
    m_pTable->resizeColumnsToContents();
    m_pFindMissing->setEnabled(report.MissingFileCount() > 0);
}

int CCheckShowDlg::FindMissingFiles(const QStringList& folders, QStringList* stillMissing) {
    // The missing files by lower-case name, with the cues that use them.
    QHash<QString, QList<CQRecord*>> wanted;
    for (const showcheck::Problem& p : m_pView->GetShowChecker()->GetReport().problems) {
        if (p.kind != showcheck::Problem::Kind::Missing || p.path.isEmpty()) continue;
        CQRecord* cue = m_pView->GetRowCue(p.row);
        if (cue == nullptr || cue != p.key || cue->m_strPath != p.path) continue;  // changed since
        const QString name = QFile::decodeName(mvpath::FindFileName(p.path)).toLower();
        if (!wanted[name].contains(cue)) wanted[name].append(cue);
    }
    QHash<QString, QByteArray> found;
    int searched = 0;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext() && found.size() < wanted.size() && searched < kMaxEntriesSearched) {
            it.next();
            ++searched;
            const QString name = it.fileName().toLower();
            if (wanted.contains(name) && !found.contains(name)) {
                found.insert(name, QFile::encodeName(it.filePath()));
            }
        }
    }
    // One edit, undone as one.
    CueListEdit edit(*m_pView);
    bool changed = false;
    for (auto i = wanted.constBegin(); i != wanted.constEnd(); ++i) {
        const auto hit = found.constFind(i.key());
        if (hit == found.constEnd()) {
            for (const CQRecord* cue : i.value()) {
                const QString path = QFile::decodeName(cue->m_strPath);
                if (!stillMissing->contains(path)) stillMissing->append(path);
            }
            continue;
        }
        for (CQRecord* cue : i.value()) {
            edit.NoteFields(cue);
            cue->m_strPath = *hit;
            m_pView->UpdateListItem(cue);
            changed = true;
        }
    }
    if (changed) edit.Commit(tr("Find Missing Files"));
    m_pView->RequestShowCheck(true);
    return static_cast<int>(found.size());
}

void CCheckShowDlg::OnFindMissing() {
    QStringList folders;
    const QString listPath = m_pDoc->GetPathName();
    if (!listPath.isEmpty()) folders.append(QFileInfo(listPath).absolutePath());
    const QString chosen = TestFolderChooser()
                               ? TestFolderChooser()(this)
                               : QFileDialog::getExistingDirectory(
                                     this, tr("Find Missing Files: also search this folder"));
    if (!chosen.isEmpty()) folders.append(chosen);
    if (folders.isEmpty()) return;
    QStringList stillMissing;
    const int found = FindMissingFiles(folders, &stillMissing);
    QString text = tr("%n missing file(s) found.", nullptr, found);
    if (!stillMissing.isEmpty()) {
        text += QLatin1Char('\n') + tr("Still missing:") + QLatin1Char('\n') +
                stillMissing.join(QLatin1Char('\n'));
    }
    mvui::ShowMessage(this, text, QMessageBox::Information);
}
