#include "view/CCueListCommand.h"

#include <QSet>

#include "view/CMVView.h"

namespace {

// Records of `from` that `to` does not hold.
QList<CQRecord*> Missing(const QList<CQRecord*>& from, const QList<CQRecord*>& to) {
    const QSet<CQRecord*> kept(to.begin(), to.end());
    QList<CQRecord*> missing;
    for (CQRecord* cue : from) {
        if (!kept.contains(cue)) missing.append(cue);
    }
    return missing;
}

}  // namespace

CCueListCommand::CCueListCommand(CMVView* view, const QString& text, CueListState listBefore,
                                 CueListState listAfter, CueViewState viewBefore,
                                 CueViewState viewAfter, std::vector<CueFieldChange> fieldChanges,
                                 bool needsIdle)
    : QUndoCommand(text),
      m_pView(view),
      m_listBefore(std::move(listBefore)),
      m_listAfter(std::move(listAfter)),
      m_viewBefore(std::move(viewBefore)),
      m_viewAfter(std::move(viewAfter)),
      m_fields(std::move(fieldChanges)),
      m_bListChanged(!(m_listBefore == m_listAfter)),
      m_bNeedsIdle(needsIdle) {}

CCueListCommand::~CCueListCommand() { qDeleteAll(OwnedRecords()); }

QList<CQRecord*> CCueListCommand::OwnedRecords() const {
    if (!m_bListChanged) return {};
    return m_bDone ? Missing(m_listBefore.cues, m_listAfter.cues)
                   : Missing(m_listAfter.cues, m_listBefore.cues);
}

void CCueListCommand::redo() {
    if (m_bSkipRedo) {
        m_bSkipRedo = false;
        return;
    }
    Apply(true);
}

void CCueListCommand::undo() { Apply(false); }

void CCueListCommand::Apply(bool forward) {
    m_pView->BeginUndoGuard();
    if (m_bListChanged) m_pView->ApplyListState(forward ? m_listAfter : m_listBefore);
    for (const CueFieldChange& change : m_fields) {
        (forward ? change.after : change.before).ApplyTo(*change.cue);
        m_pView->UpdateListItem(change.cue);
    }
    m_pView->RestoreViewState(forward ? m_viewAfter : m_viewBefore);
    m_bDone = forward;
    m_pView->EndUndoGuard(false);
}
