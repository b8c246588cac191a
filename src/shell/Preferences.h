#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSettings;

// The operator's preferences: every value the Preferences dialog edits, kept with QSettings in
// the program's settings store. The stored names and types are part of the program's interface:
// installers and scripts set them. A value that is missing, of the wrong type or out of range
// reads as its default and is never a reason to fail; setters store what they are given, clamped
// to the range the getter accepts.
//
// Every part of the program reads its preferences through this one class (the shell hands the
// values to the view, the engine and the remote inputs); nothing else reads these keys.
// Threads: UI thread.
class Preferences {
public:
    // Stored names.
    static constexpr const char* kAudioBackend = "Audio/Backend";
    static constexpr const char* kAudioDevices = "Audio/Devices";
    static constexpr const char* kAudioDeviceOutputs = "Audio/DeviceOutputs";
    static constexpr const char* kOscEnabled = "OSC/Enabled";
    static constexpr const char* kOscPort = "OSC/Port";
    static constexpr const char* kOscInterface = "OSC/Interface";
    static constexpr const char* kOscPasscode = "OSC/Passcode";
    static constexpr const char* kOscAllowedSenders = "OSC/AllowedSenders";
    static constexpr const char* kMidiEnabled = "MIDI/Enabled";
    static constexpr const char* kMidiPort = "MIDI/Port";
    static constexpr const char* kMidiMscDeviceId = "MIDI/MscDeviceId";
    static constexpr const char* kMidiMscCommandFormat = "MIDI/MscCommandFormat";
    static constexpr const char* kMidiMappings = "MIDI/Mappings";
    static constexpr const char* kBackupPeers = "Backup/Peers";
    static constexpr const char* kShowDoubleGoMs = "Show/DoubleGoMs";
    static constexpr const char* kShowFadeAllMs = "Show/FadeAllMs";
    static constexpr const char* kDisplayDarkTheme = "Display/DarkTheme";
    static constexpr const char* kDisplayListFontPoints = "Display/ListFontPoints";
    static constexpr const char* kDisplayShowPanel = "Display/ShowPanel";

    // Ranges and defaults.
    static constexpr int kDefaultOscPort = 53000;
    static constexpr int kMscAllCall = 127;  // a device ID that answers to every device ID
    static constexpr int kMaxMscDeviceId = 111;
    static constexpr int kMscFormatSound = 0x10;  // MIDI Show Control command format "Sound"
    static constexpr int kMscFormatAll = 0x7F;    // and "All types"
    static constexpr int kMaxDoubleGoMs = 10000;
    static constexpr int kDefaultFadeAllMs = 2000;
    static constexpr int kMaxFadeAllMs = 60000;
    static constexpr int kMinListFontPoints = 6;
    static constexpr int kMaxListFontPoints = 48;
    static constexpr int kMaxDeviceOutputs = 64;

    // The program's settings store.
    Preferences();
    // Another store: an INI file of that path (tests, tools).
    explicit Preferences(const QString& iniPath);
    ~Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // ---- Audio: read once at start-up ----

    // "auto" (default), "pulse", "jack" or "alsa".
    QString GetAudioBackend() const;
    void SetAudioBackend(const QString& backend);
    // The devices to open, by name, in channel order; empty: every device the backend offers.
    QStringList GetAudioDevices() const;
    void SetAudioDevices(const QStringList& devices);
    // The same devices with the outputs each had when last seen, which a device missing at
    // start keeps channels for. Stored beside the names as a list of numbers, entry by entry
    // (Audio/DeviceOutputs); a name without a valid number (a list stored before the numbers
    // were) has 2 outputs.
    struct AudioDevice {
        QString name;
        int outputs = 2;  // 1..64
        bool operator==(const AudioDevice&) const = default;
    };
    QList<AudioDevice> GetAudioDeviceChoice() const;
    void SetAudioDeviceChoice(const QList<AudioDevice>& devices);

    // ---- OSC ----

    bool GetOscEnabled() const;  // default false
    void SetOscEnabled(bool enabled);
    int GetOscPort() const;  // 1..65535, default 53000
    void SetOscPort(int port);
    // The numeric address of the interface to listen on; empty (default): every interface.
    QString GetOscInterface() const;
    void SetOscInterface(const QString& address);
    // Empty (default): no passcode.
    QString GetOscPasscode() const;
    void SetOscPasscode(const QString& passcode);
    // Numeric addresses of the senders allowed; empty (default): any sender. Entries that are
    // no address are left out.
    QStringList GetOscAllowedSenders() const;
    void SetOscAllowedSenders(const QStringList& senders);

    // ---- MIDI ----

    bool GetMidiEnabled() const;  // default false
    void SetMidiEnabled(bool enabled);
    // The input port's name; empty (default): every port.
    QString GetMidiPort() const;
    void SetMidiPort(const QString& port);
    // 0..111, or 127 (default): answer to every device ID.
    int GetMidiMscDeviceId() const;
    void SetMidiMscDeviceId(int id);
    // The MIDI Show Control command format answered: 16 (0x10, Sound; default) or 127 (All).
    int GetMidiMscCommandFormat() const;
    void SetMidiMscCommandFormat(int format);
    // The MIDI mappings, one a line ("note any 60 0 /go"); nullopt when never stored (the
    // defaults apply then), an empty list when the operator removed them all.
    std::optional<QStringList> GetMidiMappings() const;
    void SetMidiMappings(const QStringList& mappings);

    // ---- Backup ----

    // "host:port" of each machine that follows this one; entries that are not of that form are
    // left out. Empty (default): none.
    QStringList GetBackupPeers() const;
    void SetBackupPeers(const QStringList& peers);

    // ---- Show ----

    // A Go within this many milliseconds of the previous one is ignored; 0 (default): off.
    int GetDoubleGoMs() const;
    void SetDoubleGoMs(int ms);
    // How long Fade All takes, 0..60000 ms, default 2000.
    int GetFadeAllMs() const;
    void SetFadeAllMs(int ms);

    // ---- Display ----

    bool GetDarkTheme() const;  // default false
    void SetDarkTheme(bool dark);
    // Point size of the cue list's font, 6..48; 0 (default): the desktop's size.
    int GetListFontPoints() const;
    void SetListFontPoints(int points);
    bool GetShowPanel() const;  // default true
    void SetShowPanel(bool show);

    // ---- Typed access for the keys of other parts ----

    // The value of `key` read strictly: a bool is true/false/1/0 (any letter case), an int is
    // decimal digits with an optional sign within [min, max]; anything else gives `fallback`.
    bool ReadBool(const QString& key, bool fallback) const;
    int ReadInt(const QString& key, int fallback, int min, int max) const;
    QString ReadString(const QString& key, const QString& fallback = QString()) const;
    // A list of texts; a single text reads as a list of one.
    QStringList ReadStringList(const QString& key) const;
    void Write(const QString& key, const QVariant& value);

    // Writes pending changes to the store; false when the store could not be written.
    bool Sync();

    // Whether `text` is a numeric IPv4 or IPv6 address.
    static bool IsNumericAddress(const QString& text);
    // Whether `text` is "host:port" with a host name or numeric address (IPv6 in brackets) and
    // a port 1..65535.
    static bool IsHostPort(const QString& text);

private:
    std::unique_ptr<QSettings> m_settings;
};
