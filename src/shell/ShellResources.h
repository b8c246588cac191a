#pragma once

// Registers the program's pictures, icons and toolbar images (res/marvane.qrc), which live in a
// static library. Safe to call more than once. UI thread.
void InitShellResources();
