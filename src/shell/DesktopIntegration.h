#pragma once

#include <QString>

// Desktop integration of cue list files for the current user: a desktop entry that opens a cue
// list given to it ("marvane %f") and the MIME type application/x-marvane-cuelist for *.mvl in
// any letter case, with the program's icons. `cmake --install` puts the same files into the
// system's folders. UI thread only.
namespace mvdesktop {

inline constexpr const char* kDesktopFileName = "marvane.desktop";
inline constexpr const char* kMimeType = "application/x-marvane-cuelist";
inline constexpr const char* kMimePackageName = "marvane-cuelist.xml";

// The text of the desktop entry for the program at `programPath`.
QString DesktopEntryText(const QString& programPath);
// The text of the MIME package.
QString MimePackageText();

// Writes the user's desktop entry and MIME package when no desktop entry of the program is
// known yet (installed or the user's own). Returns whether the entry exists afterwards.
bool RegisterFileType(const QString& programPath);
// Removes the user's desktop entry, MIME package and icons; true when none is left.
bool UnregisterFileType();

}  // namespace mvdesktop
