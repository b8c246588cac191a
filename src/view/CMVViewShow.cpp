// Show control of the cue list view: Go, the live commands, the players' status reports and
// the current player that the frame follows.

#include <QMessageBox>
#include <QMetaObject>
#include <QSet>
#include <algorithm>
#include <utility>

#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "platform/text/AnsiText.h"
#include "platform/text/PathRules.h"
#include "view/CCueListModel.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/PlayerSlot.h"

CMVView::~CMVView() {
    // The frame may be half destroyed already (it deletes its children last): nothing is
    // signalled from here. Every worker is joined before the records can go.
    blockSignals(true);
    StopAllPlayers();
}

CMVView::PlayerSlot* CMVView::FindSlot(const CCuePlayer* player) const {
    for (const auto& slot : m_slots) {
        if (slot->player.get() == player) return slot.get();
    }
    return nullptr;
}

CMVView::PlayerSlot* CMVView::FindSlot(std::uint64_t serial) const {
    for (const auto& slot : m_slots) {
        if (slot->serial == serial) return slot.get();
    }
    return nullptr;
}

int CMVView::GetOwnedPlayerCount() const { return static_cast<int>(m_slots.size()); }

bool CMVView::StartPlayer(CQRecord* cue, bool makeCurrent) {
    const int position = m_startPosition();
    const unsigned startPercent =
        m_pCurrentPlayer == nullptr ? static_cast<unsigned>(std::clamp(position, 0, 100)) : 0U;

    auto slot = std::make_unique<PlayerSlot>();
    slot->serial = m_nextSerial++;
    const std::uint64_t serial = slot->serial;
    slot->relay = std::make_shared<CPlayerStatusRelay>([this, serial](int status) {
        // Worker thread: queue the report for the UI thread.
        QMetaObject::invokeMethod(
            this, [this, serial, status] { OnSlotStatus(serial, status); }, Qt::QueuedConnection);
    });
    slot->player = std::make_unique<CCuePlayer>(cue, startPercent,
                                                std::weak_ptr<IPlayerStatusReceiver>(slot->relay));

    if (slot->player->IsFailed()) {
        // The operator sees why the cue did not start; the player is discarded.
        const QString message = slot->player->GetFailureMessage();
        const QMessageBox::Icon icon = slot->player->GetFailureIcon() == PlayerMessageIcon::Error
                                           ? QMessageBox::Critical
                                           : QMessageBox::NoIcon;
        const QString reason = slot->player->GetFailureReason();
        slot->player.reset();
        if (GetOwnedPlayerCount() > 0) {
            // Cues are sounding: a box would take the live keys away from the operator.
            QString why = message;
            if (why.isEmpty())
                why = reason.isEmpty() ? tr("The sound file cannot be played")
                                       : tr("not a playable sound file: %1").arg(reason);
            emit startFailed(DescribeCue(cue).id,
                             ToDisplayText(mvpath::FindFileName(cue->m_strPath)), why);
        } else if (!message.isEmpty()) {
            mvui::ShowMessage(this, message, icon);
        } else if (!reason.isEmpty()) {
            // No box, as before, but the operator can see why nothing sounded.
            emit statusNote(QStringLiteral("%1: not a playable sound file: %2")
                                .arg(ToDisplayText(cue->m_strID), reason));
        }
        return false;
    }

    CCuePlayer* player = slot->player.get();
    m_slots.push_back(std::move(slot));
    m_players.push_back(player);
    if (makeCurrent) m_pCurrentPlayer = player;
    player->Start();
    return true;
}

void CMVView::OnGo() {
    int next = -1;
    QList<ShowAction::Cue> tried;
    // The row count is read again for every row: a message box may let reports run between.
    for (int i = 0; i < GetRowCount(); ++i) {
        if (!IsRowSelected(i)) continue;
        CQRecord* cue = GetRowCue(i);
        if (cue == nullptr) continue;
        const uint32_t type = cue->GetCueType();
        if (type != CQRecord::kTypeMultiple && m_pCurrentPlayer != nullptr &&
            m_pCurrentPlayer->GetCue() == cue)
            continue;
        if (cue->IsExclusive()) SendToCurrent(ID_AUDIO_FADEOUT);

        const bool started = StartPlayer(cue, next == -1);
        tried.append(DescribeCue(cue, started));

        // The highlight moves by the cue's type, whether or not its player could start.
        if (type == CQRecord::kTypeAutomatic) {
            if (i + 1 < GetRowCount()) {
                selectionModel()->select(model()->index(i + 1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        } else if (type == CQRecord::kTypeBackground) {
            next = i + 1;
        } else {
            next = i;
        }
    }
    SelectCueGroup(next);
    ReportAction(ShowAction::Kind::Go, tried, ID_AUDIO_GO);
}

void CMVView::SelectCueGroup(int row) {
    const int count = GetRowCount();
    if (row < 0 || row >= count) return;
    auto isAutomatic = [this](int r) {
        const CQRecord* cue = GetRowCue(r);
        return cue != nullptr && cue->GetCueType() == CQRecord::kTypeAutomatic;
    };
    // A group is a run of Automatic rows with the first other row after it (or the last row).
    int first = row;
    while (first > 0 && isAutomatic(first - 1)) --first;
    int last = row;
    while (last < count - 1 && isAutomatic(last)) ++last;

    QItemSelection selection(model()->index(first, 0), model()->index(last, kColumnCount - 1));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    for (int r = first; r <= last; ++r) {
        // Two rows of look-ahead stay in view.
        if (r + 2 < count) scrollTo(model()->index(r + 2, 0), QAbstractItemView::EnsureVisible);
    }
    if (last + 2 >= count) {
        // Near the end there is no look-ahead row: keep the group itself in view.
        scrollTo(model()->index(last, 0), QAbstractItemView::EnsureVisible);
    }
    selectionModel()->setCurrentIndex(model()->index(last, 0), QItemSelectionModel::NoUpdate);
}

void CMVView::OnPlayerCommand(int id, Qt::KeyboardModifiers modifiers) {
    // Shift wins over Ctrl.
    ShowAction::Target target = ShowAction::Target::Current;
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        target = ShowAction::Target::Others;
    } else if (modifiers.testFlag(Qt::ControlModifier)) {
        target = ShowAction::Target::All;
    }
    QList<ShowAction::Cue> reached;
    for (const CCuePlayer* player : m_players) {
        const bool current = player == m_pCurrentPlayer;
        if (target == ShowAction::Target::All || current == (target == ShowAction::Target::Current))
            reached.append(DescribeCue(player->GetCue()));
    }
    switch (target) {
        case ShowAction::Target::Others:
            SendToOthers(id);
            break;
        case ShowAction::Target::All:
            SendToAll(id);
            break;
        case ShowAction::Target::Current:
            SendToCurrent(id);
            break;
    }
    ReportAction(ShowAction::Kind::Live, reached, id, target);
}

ShowAction::Cue CMVView::DescribeCue(const CQRecord* cue, bool started) {
    ShowAction::Cue described;
    if (cue != nullptr) {
        described.id = ToDisplayText(cue->m_strID);
        described.description = ToDisplayText(cue->m_strDescription);
    }
    described.started = started;
    return described;
}

void CMVView::ReportAction(ShowAction::Kind kind, QList<ShowAction::Cue> cues, int command,
                           ShowAction::Target target) {
    ShowAction action;
    action.kind = kind;
    action.command = command;
    action.target = target;
    action.cues = std::move(cues);
    action.source = m_commandSource;
    emit showAction(action);
}

CQRecord* CMVView::FindCueById(const QString& id) const {
    for (int row = 0; row < GetRowCount(); ++row) {
        CQRecord* cue = GetRowCue(row);
        if (cue != nullptr && ToDisplayText(cue->m_strID).compare(id, Qt::CaseInsensitive) == 0)
            return cue;
    }
    return nullptr;
}

bool CMVView::StartCue(CQRecord* cue, const CommandSource& source) {
    if (cue == nullptr || FindRow(cue) < 0) return false;
    // As at Go, the current cue is not started again unless it is Multiple.
    if (cue->GetCueType() != CQRecord::kTypeMultiple && m_pCurrentPlayer != nullptr &&
        m_pCurrentPlayer->GetCue() == cue)
        return false;
    const CommandSource outer = std::exchange(m_commandSource, source);
    if (cue->IsExclusive()) SendToCurrent(ID_AUDIO_FADEOUT);
    const bool started = StartPlayer(cue, true);
    ReportAction(ShowAction::Kind::StartCue, {DescribeCue(cue, started)});
    m_commandSource = outer;
    return started;
}

bool CMVView::ApplyToPlayer(CCuePlayer* player, int id, ShowAction::Kind kind,
                            const CommandSource& source) {
    if (player == nullptr ||
        std::find(m_players.begin(), m_players.end(), player) == m_players.end())
        return false;
    player->ApplyCommand(static_cast<unsigned>(id));
    const CommandSource outer = std::exchange(m_commandSource, source);
    ReportAction(kind, {DescribeCue(player->GetCue())}, id);
    m_commandSource = outer;
    return true;
}

bool CMVView::KillPlayer(CCuePlayer* player, const CommandSource& source) {
    return ApplyToPlayer(player, ID_AUDIO_KILL, ShowAction::Kind::KillCue, source);
}

bool CMVView::FadeOutPlayer(CCuePlayer* player, const CommandSource& source) {
    return ApplyToPlayer(player, ID_AUDIO_FADEOUT, ShowAction::Kind::FadeOutCue, source);
}

int CMVView::KillCue(CQRecord* cue, const CommandSource& source) {
    int reached = 0;
    // A copy: the list does not change under a command, but nothing here relies on that.
    const std::vector<CCuePlayer*> players = m_players;
    for (CCuePlayer* player : players) {
        if (player->GetCue() == cue && KillPlayer(player, source)) ++reached;
    }
    return reached;
}

int CMVView::FadeOutCue(CQRecord* cue, const CommandSource& source) {
    int reached = 0;
    const std::vector<CCuePlayer*> players = m_players;
    for (CCuePlayer* player : players) {
        if (player->GetCue() == cue && FadeOutPlayer(player, source)) ++reached;
    }
    return reached;
}

bool CMVView::SelectCue(CQRecord* cue, const CommandSource& source) {
    const int row = FindRow(cue);
    if (row < 0) return false;
    SelectRows({row}, row);
    scrollTo(m_pModel->index(row, 0), QAbstractItemView::EnsureVisible);
    const CommandSource outer = std::exchange(m_commandSource, source);
    ReportAction(ShowAction::Kind::SelectCue, {DescribeCue(cue)});
    m_commandSource = outer;
    return true;
}

void CMVView::SendToCurrent(int id) {
    if (m_pCurrentPlayer != nullptr) m_pCurrentPlayer->ApplyCommand(static_cast<unsigned>(id));
}

void CMVView::SendToOthers(int id) {
    for (CCuePlayer* player : m_players) {
        if (player != m_pCurrentPlayer) player->ApplyCommand(static_cast<unsigned>(id));
    }
}

void CMVView::SendToAll(int id) {
    for (CCuePlayer* player : m_players) player->ApplyCommand(static_cast<unsigned>(id));
}

void CMVView::OnSlotStatus(std::uint64_t serial, int code) {
    // A report may arrive after its player was stopped and deleted: it is dropped.
    PlayerSlot* slot = FindSlot(serial);
    if (slot != nullptr) OnCueStatus(code, slot->player.get());
}

void CMVView::OnCueStatus(int code, CCuePlayer* player) {
    PlayerSlot* slot = FindSlot(player);
    if (slot == nullptr || player == nullptr) return;

    CQRecord* cue = player->GetCue();
    const int row = FindRow(cue);
    if (row >= 0) InvalidateCueRow(row);

    if (code == PLAYER_FADED) slot->faded = true;
    // From now on no command reaches it; a faded player finishes its fade by itself. A player
    // leaves the list once: at its fade past -40 dB or at its end, whichever comes first. Only
    // then does a Normal cue move the highlight on; the end of a faded one must not move it
    // again, off a row the operator has highlighted since (perhaps to play it again).
    if ((slot->faded || code == PLAYER_ENDED) && UnlistPlayer(player) && row >= 0 &&
        cue->GetCueType() == CQRecord::kTypeNormal && IsRowSelected(row)) {
        SelectCueGroup(row + 1);
    }

    ChooseCurrentPlayer();
    // The frame learns the new current player before the ended one is deleted.
    emit cueStatus(m_pCurrentPlayer);

    if (code == PLAYER_ENDED) DeleteSlot(slot);
    // The live keys keep working.
    setFocus();
}

bool CMVView::UnlistPlayer(CCuePlayer* player) {
    const auto gone = std::remove(m_players.begin(), m_players.end(), player);
    const bool listed = gone != m_players.end();
    m_players.erase(gone, m_players.end());
    return listed;
}

void CMVView::ChooseCurrentPlayer() {
    if (!m_players.empty()) {
        m_pCurrentPlayer = m_players.back();
        m_timer.start();
    } else {
        m_pCurrentPlayer = nullptr;
        m_timer.stop();
    }
}

void CMVView::DeleteSlot(PlayerSlot* slot) {
    const auto it = std::find_if(m_slots.begin(), m_slots.end(),
                                 [slot](const auto& owned) { return owned.get() == slot; });
    if (it == m_slots.end()) return;
    std::unique_ptr<PlayerSlot> owned = std::move(*it);
    m_slots.erase(it);
    UnlistPlayer(owned->player.get());
    emit playerAboutToBeDeleted(owned->player.get());
    // Stops the worker and joins it; a report it still posts finds no slot.
    owned->player.reset();
    if (m_slots.empty()) m_bFadingAll = false;
}

void CMVView::OnTimer() { emit cueStatus(m_pCurrentPlayer); }

void CMVView::StopPlayersOf(const QList<CQRecord*>& cues) {
    if (cues.isEmpty()) return;
    const QSet<const CQRecord*> doomed(cues.begin(), cues.end());

    std::vector<PlayerSlot*> stopping;
    for (const auto& slot : m_slots) {
        if (doomed.contains(slot->player->GetCue())) stopping.push_back(slot.get());
    }
    if (!stopping.empty()) {
        CCuePlayer* const previous = m_pCurrentPlayer;
        for (PlayerSlot* slot : stopping) UnlistPlayer(slot->player.get());
        ChooseCurrentPlayer();
        if (m_pCurrentPlayer != previous) emit cueStatus(m_pCurrentPlayer);
        for (PlayerSlot* slot : stopping) DeleteSlot(slot);
    }

    // No row may keep pointing at a record that is about to go.
    QList<int> rows;
    const auto& all = m_pModel->Rows();
    for (size_t r = 0; r < all.size(); ++r) {
        if (doomed.contains(all[r])) rows.append(static_cast<int>(r));
    }
    if (rows.isEmpty()) return;
    if (rows.size() == GetRowCount()) {
        m_pModel->Reset({});
    } else {
        m_pModel->Remove(rows);
    }
}

void CMVView::StopAllPlayers() {
    m_players.clear();
    const bool wasPlaying = m_pCurrentPlayer != nullptr;
    ChooseCurrentPlayer();
    if (wasPlaying) emit cueStatus(nullptr);
    while (!m_slots.empty()) DeleteSlot(m_slots.back().get());
}
