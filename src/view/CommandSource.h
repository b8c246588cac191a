#pragma once

#include <QString>

// Who gave a command: a key, a menu, a button of the window, or a remote controller. The Go log
// names it; commands that arrived from the network are carried out but never sent on to backup
// machines, so two machines that name each other cannot loop.
struct CommandSource {
    enum class Kind {
        Key,     // a key of the keyboard (also the default for commands given by the program)
        Menu,    // a menu item
        Button,  // a toolbar or panel button
        Osc,     // an OSC message; `sender` holds the sender's address
        Midi,    // a MIDI message
    };

    Kind kind = Kind::Key;
    QString sender;

    static CommandSource FromKey() { return {Kind::Key, {}}; }
    static CommandSource FromMenu() { return {Kind::Menu, {}}; }
    static CommandSource FromButton() { return {Kind::Button, {}}; }
    static CommandSource FromOsc(const QString& address) { return {Kind::Osc, address}; }
    static CommandSource FromMidi() { return {Kind::Midi, {}}; }

    bool IsRemote() const { return kind == Kind::Osc || kind == Kind::Midi; }

    // As the Go log writes it: "key", "menu", "button", "osc 10.0.0.5", "midi".
    QString LogText() const {
        switch (kind) {
            case Kind::Key:
                return QStringLiteral("key");
            case Kind::Menu:
                return QStringLiteral("menu");
            case Kind::Button:
                return QStringLiteral("button");
            case Kind::Osc:
                return sender.isEmpty() ? QStringLiteral("osc") : QStringLiteral("osc ") + sender;
            case Kind::Midi:
                return QStringLiteral("midi");
        }
        return QString();
    }
};
