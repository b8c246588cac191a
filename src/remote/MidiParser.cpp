#include "remote/MidiParser.h"

QString MidiEvent::ToText() const {
    switch (type) {
        case Type::NoteOn:
            return QStringLiteral("Note On ch %1 #%2 vel %3")
                .arg(channel + 1)
                .arg(number)
                .arg(value);
        case Type::ProgramChange:
            return QStringLiteral("Program Change ch %1 #%2").arg(channel + 1).arg(number);
        case Type::ControlChange:
            return QStringLiteral("Control Change ch %1 #%2 value %3")
                .arg(channel + 1)
                .arg(number)
                .arg(value);
        case Type::SysEx:
            return QStringLiteral("SysEx");
        case Type::None:
            break;
    }
    return QString();
}

namespace midi {

MidiEvent Parse(const unsigned char* data, std::size_t size) {
    MidiEvent event;
    if (data == nullptr || size == 0) return event;
    const unsigned status = data[0];
    if (status == 0xF0) {
        event.type = MidiEvent::Type::SysEx;
        return event;
    }
    const unsigned kind = status & 0xF0;
    event.channel = static_cast<int>(status & 0x0F);
    auto dataByte = [&](std::size_t k) -> int { return k < size && data[k] < 0x80 ? data[k] : -1; };
    if (kind == 0x90 && size >= 3) {
        event.number = dataByte(1);
        event.value = dataByte(2);
        if (event.number >= 0 && event.value > 0) event.type = MidiEvent::Type::NoteOn;
    } else if (kind == 0xC0 && size >= 2) {
        event.number = dataByte(1);
        if (event.number >= 0) event.type = MidiEvent::Type::ProgramChange;
    } else if (kind == 0xB0 && size >= 3) {
        event.number = dataByte(1);
        event.value = dataByte(2);
        if (event.number >= 0 && event.value >= 0) event.type = MidiEvent::Type::ControlChange;
    }
    if (event.type == MidiEvent::Type::None) event = MidiEvent();
    return event;
}

std::optional<MscCommand> ParseMsc(const unsigned char* data, std::size_t size) {
    // F0 7F <device> 02 <format> <command> ... F7
    if (data == nullptr || size < 7 || data[0] != 0xF0 || data[1] != 0x7F || data[3] != 0x02 ||
        data[size - 1] != 0xF7)
        return std::nullopt;
    for (std::size_t k = 1; k + 1 < size; ++k) {
        if (data[k] >= 0x80) return std::nullopt;
    }
    MscCommand command;
    command.deviceId = data[2];
    command.format = data[4];
    command.command = data[5];
    // The cue number runs to the first 00 (before the cue list) or to F7.
    for (std::size_t k = 6; k + 1 < size && data[k] != 0x00; ++k) {
        const char c = static_cast<char>(data[k]);
        if ((c < '0' || c > '9') && c != '.') return std::nullopt;
        if (command.cueNumber.size() >= MscCommand::kMaxCueNumberLength) return std::nullopt;
        command.cueNumber.append(QLatin1Char(c));
    }
    return command;
}

bool IsForUs(const MscCommand& command, int ourDeviceId, int ourFormat) {
    const bool device = ourDeviceId == MscCommand::kAllCall ||
                        command.deviceId == MscCommand::kAllCall || command.deviceId == ourDeviceId;
    const bool format = ourFormat == MscCommand::kFormatAll ||
                        command.format == MscCommand::kFormatAll || command.format == ourFormat;
    return device && format;
}

}  // namespace midi
