#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// The cue clipboard format: one cue array block, padded with zero bytes to a multiple of 4096,
// under the format name "CF_MARVANE". Qt names a Windows clipboard format in a MIME type of its
// own, so the name stays exactly "CF_MARVANE" on Windows and the same MIME type carries it on
// X11 and Wayland; two running copies of the program exchange cues through it.
// UI thread only.
namespace CueClipboard {

inline constexpr const char* kMimeType = "application/x-qt-windows-mime;value=\"CF_MARVANE\"";
inline constexpr int kBlockBytes = 4096;

// The block as it goes on the clipboard: data followed by zero bytes up to the next multiple of
// kBlockBytes (at least one block).
QByteArray PadToBlocks(const QByteArray& data);

// Puts the payload on the system clipboard; true when the clipboard holds it afterwards.
bool Place(const QByteArray& payload);

// The payload of the cue format, or nullopt when the clipboard holds none.
std::optional<QByteArray> Fetch();

// Whether the clipboard holds data in the cue format. Cheap: the answer is kept and renewed
// whenever the clipboard changes, so the command update handlers can ask as often as they like.
bool HasCues();

// Tests stand in for the system clipboard's refusal: while the function is set and returns
// false, Place fails without touching the clipboard.
void SetPlaceHookForTesting(std::function<bool()> allowPlace);

}  // namespace CueClipboard
