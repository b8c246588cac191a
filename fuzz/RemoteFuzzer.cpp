// libFuzzer target for everything remote control reads from the network and from MIDI: the
// bytes go through the OSC packet decoder and the address mapping, the allowed-sender check,
// the cue-number matching, and the MIDI and MIDI Show Control parsers. Whatever the bytes,
// nothing crashes, reads out of bounds or allocates without bound. Built by fuzz/build.sh;
// tests/remote runs it over a generated corpus.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "remote/MidiMapping.h"
#include "remote/MidiParser.h"
#include "remote/OscAddressMap.h"
#include "remote/OscMessage.h"
#include "remote/RemoteShow.h"
#include "remote/SenderCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    QList<OscMessage> messages;
    if (osc::DecodePacket(bytes, size, &messages)) {
        for (const OscMessage& message : messages) {
            QString error;
            const std::optional<RemoteRequest> request = osc::MapMessage(message, &error);
            if (request && request->kind != RemoteRequest::Kind::Reply) {
                // What a machine forwards must map back to the same request.
                const std::optional<RemoteRequest> again =
                    osc::MapMessage(osc::MessageFor(*request), &error);
                if (!again || again->kind != request->kind) __builtin_trap();
            }
        }
    }
    const QString text =
        QString::fromUtf8(bytes, static_cast<qsizetype>(std::min<size_t>(size, 256)));
    (void)remote::IsAllowedSender(text, {QStringLiteral("10.0.0.1"), QStringLiteral("::1"), text});
    (void)remote::MatchCueNumber(text, {QStringLiteral("Q010"), QStringLiteral("10.5"), text});
    const auto* raw = static_cast<const unsigned char*>(data);
    (void)midi::Parse(raw, size);
    if (const std::optional<MscCommand> msc = midi::ParseMsc(raw, size)) {
        if (msc->cueNumber.size() > MscCommand::kMaxCueNumberLength) __builtin_trap();
    }
    if (const std::optional<MidiMapping> mapping = MidiMapping::FromText(text)) {
        if (!MidiMapping::FromText(mapping->ToText())) __builtin_trap();
    }
    return 0;
}
