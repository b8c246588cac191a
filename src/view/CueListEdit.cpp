#include "view/CueListEdit.h"

#include "view/CCueListCommand.h"
#include "view/CMVView.h"

CueListEdit::CueListEdit(CMVView& view, bool needsIdle)
    : m_view(view),
      m_list(view.CaptureListState()),
      m_viewState(view.CaptureViewState()),
      m_bNeedsIdle(needsIdle) {
    m_view.BeginUndoGuard();
}

CueListEdit::~CueListEdit() {
    if (!m_bOpen) return;
    // Abandoned: whatever changed cannot be undone and keeps the document modified.
    bool changed = !(m_view.CaptureListState() == m_list);
    for (const auto& [cue, before] : m_noted) changed = changed || !(CueFields::Of(*cue) == before);
    m_view.EndUndoGuard(changed);
}

void CueListEdit::NoteFields(CQRecord* cue) {
    if (cue == nullptr) return;
    for (const auto& noted : m_noted) {
        if (noted.first == cue) return;
    }
    m_noted.emplace_back(cue, CueFields::Of(*cue));
}

void CueListEdit::Commit(const QString& text) {
    if (!m_bOpen) return;
    m_bOpen = false;
    std::vector<CueFieldChange> fields;
    fields.reserve(m_noted.size());
    for (const auto& [cue, before] : m_noted) fields.push_back({cue, before, CueFields::Of(*cue)});
    auto* command =
        new CCueListCommand(&m_view, text, m_list, m_view.CaptureListState(), m_viewState,
                            m_view.CaptureViewState(), std::move(fields), m_bNeedsIdle);
    m_view.EndUndoGuard(false);
    m_view.PushUndoCommand(command);
}
