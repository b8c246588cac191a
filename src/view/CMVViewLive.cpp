// Live safety of the cue list view: Fade All and the players the show panel lists.

#include <algorithm>
#include <utility>

#include "engine/CCuePlayer.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/PlayerSlot.h"

std::vector<CCuePlayer*> CMVView::GetOwnedPlayers() const {
    std::vector<CCuePlayer*> players;
    players.reserve(m_slots.size());
    // Slots are kept in starting order.
    for (auto it = m_slots.rbegin(); it != m_slots.rend(); ++it)
        players.push_back((*it)->player.get());
    return players;
}

bool CMVView::IsPlayerListed(const CCuePlayer* player) const {
    return std::find(m_players.begin(), m_players.end(), player) != m_players.end();
}

bool CMVView::KillOwnedPlayer(CCuePlayer* player, const CommandSource& source) {
    if (IsPlayerListed(player)) return KillPlayer(player, source);
    PlayerSlot* slot = FindSlot(player);
    if (slot == nullptr) return false;
    player->ApplyCommand(CCuePlayer::kKill);
    const CommandSource outer = std::exchange(m_commandSource, source);
    ReportAction(ShowAction::Kind::KillCue, {DescribeCue(player->GetCue())}, ID_AUDIO_KILL);
    m_commandSource = outer;
    return true;
}

void CMVView::OnFadeAll() {
    QList<ShowAction::Cue> sounding;
    std::vector<CCuePlayer*> players;
    for (CCuePlayer* player : GetOwnedPlayers()) {
        // A killed cue is silent already and only waits for its worker to end.
        if (player->IsKilled()) continue;
        players.push_back(player);
        sounding.append(DescribeCue(player->GetCue()));
    }
    if (m_bFadingAll) {
        // The second press: nobody waits for the fade any more.
        for (CCuePlayer* player : players) player->ApplyCommand(CCuePlayer::kKill);
        ReportAction(ShowAction::Kind::StopAll, sounding, ID_AUDIO_FADEALL,
                     ShowAction::Target::All);
        return;
    }
    if (players.empty()) return;
    m_bFadingAll = true;
    for (CCuePlayer* player : players) player->FadeAll(static_cast<uint32_t>(m_nFadeAllMs));
    ReportAction(ShowAction::Kind::FadeAll, sounding, ID_AUDIO_FADEALL, ShowAction::Target::All);
}
