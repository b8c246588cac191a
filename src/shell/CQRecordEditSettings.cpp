// CQRecord::EditSettings lives with the Cue Settings dialog, in the shell library, so that the
// cue list data stays free of widgets.
#include <QApplication>

#include "cuelist/CQRecord.h"
#include "platform/text/AnsiText.h"
#include "shell/CCueSettingsDlg.h"
#include "shell/CueSettingsConversions.h"

namespace {

// A text the operator left as it was keeps its bytes (which may not be UTF-8); an edited one is
// stored as UTF-8.
QByteArray TextBack(const QByteArray& original, const QString& shown) {
    return shown == ToDisplayText(original) ? original : FromEditedText(shown);
}

}  // namespace

bool CQRecord::EditSettings() {
    CCueSettingsDlg dlg(QApplication::activeWindow());
    const uint32_t flags = m_dwFlags.load(std::memory_order_relaxed);
    dlg.m_strID = ToDisplayText(m_strID);
    dlg.m_strDescription = ToDisplayText(m_strDescription);
    dlg.m_strNotes = ToDisplayText(m_strNotes);
    dlg.m_strPath = m_strPath;
    dlg.m_nCueType = mvcue::CueTypeFromFlags(flags);
    dlg.m_bExclusive = mvcue::IsExclusive(flags) ? 1 : 0;
    dlg.m_bLooped = mvcue::IsLooped(flags) ? 1 : 0;
    dlg.m_nChannel = m_nChannel;
    dlg.m_nVolume = m_nVolume;
    dlg.m_nPan = m_nPan;
    dlg.m_dFadeIn = mvcue::SecondsFromMilliseconds(m_dwFadeIn);
    dlg.m_dFadeOut = mvcue::SecondsFromMilliseconds(m_dwFadeOut);

    if (dlg.DoModal() != QDialog::Accepted) return false;

    m_strID = TextBack(m_strID, dlg.m_strID);
    m_strDescription = TextBack(m_strDescription, dlg.m_strDescription);
    m_strNotes = TextBack(m_strNotes, dlg.m_strNotes);
    m_strPath = dlg.m_strPath;
    // A player's worker may read the Looped bit meanwhile: one atomic store of the whole word.
    m_dwFlags.store(
        mvcue::FlagsFromSettings(dlg.m_nCueType, dlg.m_bExclusive != 0, dlg.m_bLooped != 0, flags),
        std::memory_order_relaxed);
    m_nChannel = dlg.m_nChannel;
    m_nVolume = dlg.m_nVolume;
    m_nPan = dlg.m_nPan;
    m_dwFadeIn = mvcue::MillisecondsBack(m_dwFadeIn, dlg.m_dFadeIn);
    m_dwFadeOut = mvcue::MillisecondsBack(m_dwFadeOut, dlg.m_dFadeOut);
    return true;
}
