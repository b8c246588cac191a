#include "remote/MidiController.h"

#include <rtmidi/RtMidi.h>

#include "view/CommandIds.h"

namespace {

RtMidi::Api ChosenApi() {
    const QByteArray name = qgetenv("MARVANE_MIDI_API").toLower();
    if (name == "jack") return RtMidi::UNIX_JACK;
    if (name == "alsa") return RtMidi::LINUX_ALSA;
    return RtMidi::UNSPECIFIED;
}

// RtMidi reports warnings and errors through this instead of printing or throwing.
void IgnoreRtMidiError(RtMidiError::Type, const std::string&, void*) {}

bool NameMatches(const QString& port, const QString& wanted) {
    if (wanted.isEmpty()) return true;
    return port.compare(wanted, Qt::CaseInsensitive) == 0 ||
           port.contains(wanted, Qt::CaseInsensitive);
}

// An MSC GO or STOP: without a cue number, `command` as the key gives it; with one, `byCue`
// for that cue.
RemoteRequest MscRequest(int command, RemoteRequest::Kind byCue, const QString& cueNumber) {
    RemoteRequest request;
    if (cueNumber.isEmpty()) {
        request.command = command;
    } else {
        request.kind = byCue;
        request.cueId = cueNumber;
    }
    return request;
}

}  // namespace

MidiController::MidiController(IRemoteShow& show, QObject* parent)
    : QObject(parent),
      m_show(show),
      m_inbox(this, kInboxCapacity,
              [this](std::vector<unsigned char>& bytes) { HandleBytes(bytes); }) {
    m_rescanTimer.setInterval(kRescanMs);
    connect(&m_rescanTimer, &QTimer::timeout, this, &MidiController::Rescan);
}

MidiController::~MidiController() { CloseAll(); }

QString MidiController::GetApiName() {
    return QString::fromStdString(RtMidi::getApiName(ChosenApi()));
}

bool MidiController::EnsureProbe(QString* error) {
    if (m_probe) return true;
    try {
        m_probe = std::make_unique<RtMidiIn>(ChosenApi(), "Marvane");
        m_probe->setErrorCallback(&IgnoreRtMidiError, nullptr);
        return true;
    } catch (const RtMidiError& e) {
        if (error != nullptr)
            *error = tr("MIDI is not available: %1").arg(QString::fromStdString(e.getMessage()));
        return false;
    }
}

QStringList MidiController::GetPortNames() {
    QStringList names;
    if (!EnsureProbe(nullptr)) return names;
    try {
        const unsigned count = m_probe->getPortCount();
        for (unsigned k = 0; k < count && k < 256; ++k)
            names.append(QString::fromStdString(m_probe->getPortName(k)));
    } catch (const RtMidiError&) {
    }
    return names;
}

void MidiController::CloseAll() {
    m_rescanTimer.stop();
    for (auto& input : m_inputs) {
        try {
            input->closePort();
        } catch (const RtMidiError&) {
        }
    }
    m_inputs.clear();
    m_openNames.clear();
}

bool MidiController::Apply(const Settings& settings, QString* error) {
    m_settings = settings;
    CloseAll();
    if (!settings.enabled) return true;
    // Without a MIDI system now (no sequencer, JACK not started yet) the rescans keep looking.
    m_rescanTimer.start();
    if (!EnsureProbe(error)) return false;
    Rescan();
    return true;
}

void MidiController::Rescan() {
    // Looking for a MIDI system that is not there costs a client and a line in the log: every
    // fifth rescan only.
    if (!m_probe && (++m_failedProbes % 5 != 0 || !EnsureProbe(nullptr))) return;
    QStringList wanted;
    for (const QString& name : GetPortNames()) {
        if (NameMatches(name, m_settings.port) && !name.startsWith(QLatin1String("Marvane")))
            wanted.append(name);
    }
    if (wanted == m_openNames) return;
    // Ports came or went: port numbers change with them, so every port is opened again.
    for (auto& input : m_inputs) {
        try {
            input->closePort();
        } catch (const RtMidiError&) {
        }
    }
    m_inputs.clear();
    m_openNames.clear();
    const QStringList all = GetPortNames();
    for (const QString& name : wanted) {
        const qsizetype index = all.indexOf(name);
        if (index < 0) continue;
        try {
            auto input = std::make_unique<RtMidiIn>(m_probe->getCurrentApi(), "Marvane");
            input->setErrorCallback(&IgnoreRtMidiError, nullptr);
            input->ignoreTypes(false, true, true);  // SysEx in; clock and active sensing out
            input->setCallback(&MidiController::OnRtMidiMessage, this);
            input->openPort(static_cast<unsigned>(index), "Marvane input");
            m_inputs.push_back(std::move(input));
            m_openNames.append(name);
        } catch (const RtMidiError&) {
        }
    }
}

// RtMidi's input thread.
void MidiController::OnRtMidiMessage(double, std::vector<unsigned char>* message, void* self) {
    if (message == nullptr || message->empty() || message->size() > kMaxMessageBytes) return;
    static_cast<MidiController*>(self)->m_inbox.Push(*message);
}

void MidiController::HandleBytes(const std::vector<unsigned char>& bytes) {
    const MidiEvent event = midi::Parse(bytes.data(), bytes.size());
    const CommandSource source = CommandSource::FromMidi();
    if (event.type == MidiEvent::Type::SysEx) {
        const std::optional<MscCommand> msc = midi::ParseMsc(bytes.data(), bytes.size());
        if (!msc || !midi::IsForUs(*msc, m_settings.mscDeviceId, m_settings.mscFormat)) return;
        RemoteRequest request;
        switch (msc->command) {
            case MscCommand::kGo:
                request = MscRequest(ID_AUDIO_GO, RemoteRequest::Kind::MscGo, msc->cueNumber);
                break;
            case MscCommand::kStop:
                request =
                    MscRequest(ID_AUDIO_STOPALL, RemoteRequest::Kind::MscStop, msc->cueNumber);
                break;
            case MscCommand::kAllOff:
                request.command = ID_AUDIO_STOPALL;
                break;
            default:
                return;  // RESUME, FIRE and the rest are not for a sound cue player
        }
        m_show.Perform(request, source);
        return;
    }
    if (event.type == MidiEvent::Type::None) return;
    emit eventSeen(event);
    for (const MidiMapping& mapping : m_settings.mappings) {
        if (!mapping.Matches(event)) continue;
        if (const std::optional<RemoteRequest> request = mapping.Request())
            m_show.Perform(*request, source);
        return;
    }
}
