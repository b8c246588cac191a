#pragma once

#include <QString>
#include <optional>

#include "remote/OscMessage.h"
#include "remote/RemoteRequest.h"

namespace osc {

// The longest cue ID an address may name (cue IDs are short texts).
inline constexpr int kMaxCueIdLength = 64;
inline constexpr int kMaxAddressLength = 256;

// Turns an OSC message into a request. The address's fixed words are matched ignoring letter
// case: /go, /stop, /panic, /cue/{id}/start, /cue/{id}/stop, /cue/{id}/fadeOut, /select/{id},
// /playhead/{id}, /live/{fadeIn|fadeOut|kill|speedUp|slowDown|normalSpeed|volumeUp|volumeDown}
// [0 current, 1 others, 2 all], /status, /updates [1|0], /connect {passcode}, and /reply/...
// {json} from another machine. Unknown addresses and wrong arguments give nullopt with the
// reason in `error`. Any thread.
std::optional<RemoteRequest> MapMessage(const OscMessage& message, QString* error);

// The address a request is sent as (the inverse of MapMessage for what a machine forwards to
// its backups): "/go", "/cue/Q010/start", "/live/kill" with the target as argument, ...
OscMessage MessageFor(const RemoteRequest& request);

}  // namespace osc
