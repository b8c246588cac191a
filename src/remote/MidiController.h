#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <vector>

#include "remote/MidiMapping.h"
#include "remote/MidiParser.h"
#include "remote/RemoteInbox.h"
#include "remote/RemoteShow.h"

class RtMidiIn;

// MIDI show control: the input ports (RtMidi: ALSA sequencer or JACK), followed as they come
// and go, the mappings from Note On, Program Change and Control Change to actions, and MIDI
// Show Control. RtMidi's thread hands each message to the UI thread through a bounded inbox;
// everything else runs on the UI thread.
class MidiController : public QObject {
    Q_OBJECT

public:
    struct Settings {
        bool enabled = false;
        QString port;  // empty: every port
        int mscDeviceId = MscCommand::kAllCall;
        int mscFormat = MscCommand::kFormatSound;
        QList<MidiMapping> mappings = MidiMapping::Defaults();
    };

    static constexpr int kRescanMs = 2000;
    static constexpr std::size_t kInboxCapacity = 256;
    static constexpr std::size_t kMaxMessageBytes = 512;

    explicit MidiController(IRemoteShow& show, QObject* parent = nullptr);
    ~MidiController() override;

    // Opens the ports `settings` names (or closes them all). False with the reason in `error`
    // when no MIDI system could be reached; ports that are missing are opened when they come.
    bool Apply(const Settings& settings, QString* error);
    const Settings& GetSettings() const { return m_settings; }

    // The input ports there are now, and those open.
    QStringList GetPortNames();
    QStringList GetOpenPorts() const { return m_openNames; }

    // Carries out one message (RtMidi's messages arrive here; tests may call it). UI thread.
    void HandleBytes(const std::vector<unsigned char>& bytes);

    // RtMidi's API: "jack" or "alsa" from MARVANE_MIDI_API, otherwise the first that works.
    static QString GetApiName();

signals:
    // Every Note On, Program Change and Control Change received (the "learn" button listens).
    void eventSeen(const MidiEvent& event);

private:
    void Rescan();
    void CloseAll();
    bool EnsureProbe(QString* error);
    static void OnRtMidiMessage(double stamp, std::vector<unsigned char>* message, void* self);

    IRemoteShow& m_show;
    Settings m_settings;
    RemoteInbox<std::vector<unsigned char>> m_inbox;
    std::unique_ptr<RtMidiIn> m_probe;  // lists the ports
    std::vector<std::unique_ptr<RtMidiIn>> m_inputs;
    QStringList m_openNames;
    QTimer m_rescanTimer;
    int m_failedProbes = 0;
};
