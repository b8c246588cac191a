#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/CCuePlayer.h"
#include "view/CMVView.h"

// Hands a player's status from its worker thread to the view's thread.
class CPlayerStatusRelay : public IPlayerStatusReceiver {
public:
    explicit CPlayerStatusRelay(std::function<void(int)> post) : m_post(std::move(post)) {}

    // Worker thread: only posts, never waits for the UI thread.
    void OnPlayerStatus(CCuePlayer* /*player*/, int status) override { m_post(status); }

private:
    std::function<void(int)> m_post;
};

// One player the view started. The serial tells its reports apart from those of a player that
// was deleted earlier at the same address. Members are destroyed in reverse order: the player
// (which joins its worker) goes before the relay its worker reports through.
struct CMVView::PlayerSlot {
    std::uint64_t serial = 0;
    std::shared_ptr<CPlayerStatusRelay> relay;
    std::unique_ptr<CCuePlayer> player;
    bool faded = false;  // reported PLAYER_FADED: no longer listed, still owned
};
