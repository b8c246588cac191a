// The background show check of the cue list view: every cue's file and channel are checked
// after the list is opened and after every change, and the rows with a problem are marked.

#include <QHash>

#include "cuelist/CMVDoc.h"
#include "engine/CSoundOutput.h"
#include "view/CCueListModel.h"
#include "view/CMVView.h"
#include "view/ShowChecker.h"

namespace {

// Changes come in bursts (a paste, a drop of many files): check once they have settled.
constexpr int kQuietMs = 250;

}  // namespace

void CMVView::SetUpShowCheck() {
    m_pChecker = new ShowChecker(this);
    connect(m_pChecker, &ShowChecker::checked, this, &CMVView::OnShowChecked);
    m_checkTimer.setSingleShot(true);
    m_checkTimer.setInterval(kQuietMs);
    connect(&m_checkTimer, &QTimer::timeout, this, [this] { RequestShowCheck(); });
    const auto changed = [this] { m_checkTimer.start(); };
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, changed);
    connect(m_pModel, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(m_pModel, &QAbstractItemModel::rowsMoved, this, changed);
    connect(m_pModel, &QAbstractItemModel::modelReset, this, changed);
    // Edits of a cue's path or channel; an unchanged list is not checked again.
    connect(m_pModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (!roles.contains(CCueListModel::kProblemRole)) m_checkTimer.start();
            });
    m_checkTimer.start();
}

void CMVView::RequestShowCheck(bool evenIfUnchanged) {
    m_checkTimer.stop();
    QList<CQRecord*> cues;
    for (int row = 0; row < GetRowCount(); ++row) cues.append(GetRowCue(row));
    const int channels = theSoundOutput.GetChannelCount();
    QHash<int, QString> missing;
    for (const auto& [channel, name] : theSoundOutput.GetMissingChannels())
        missing.insert(channel, QString::fromStdString(name));
    m_pChecker->Request(showcheck::Snapshot(cues), channels > 0 ? channels : -1, missing);
    if (evenIfUnchanged) m_pChecker->Recheck();
}

void CMVView::OnShowChecked() {
    QHash<const CQRecord*, QString> problems;
    for (const showcheck::Problem& p : m_pChecker->GetReport().problems) {
        const auto* cue = static_cast<const CQRecord*>(p.key);
        QString& text = problems[cue];
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + p.text;
    }
    m_pModel->SetProblems(problems);
}

QString CMVView::GetRowProblem(int row) const { return m_pModel->GetProblem(GetRowCue(row)); }
