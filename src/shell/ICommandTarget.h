#pragma once

#include <QString>
#include <optional>

// Something that carries out commands in the update-handler manner: it says whether a command
// is enabled (nullopt when the command is not its own) and carries it out only when it is.
// UI thread only.
class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;

    // Carries out command `id` when it is this target's and enabled; returns whether it was
    // this target's command.
    virtual bool OnCmdMsg(int id) = 0;
    // Whether command `id` is enabled, or nullopt when it is not this target's.
    virtual std::optional<bool> OnUpdateCommand(int id) const = 0;
    // Asked before the main window closes: false keeps it open (the operator cancelled).
    virtual bool CanCloseFrame() { return true; }
    // The menu text of recent file `index` (0..3), or an empty string when there is none.
    virtual QString GetRecentFileMenuText(int) const { return QString(); }
};
