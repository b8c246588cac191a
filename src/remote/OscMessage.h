#pragma once

#include <QByteArray>
#include <QList>
#include <cstddef>

// One argument of an OSC message, reduced to what the program reads: numbers and texts.
struct OscArg {
    char type = 'i';  // 'i' (int32 and int64), 'f' (float and double), 's' (string and symbol),
                      // or the type letter of anything else, whose value is not kept
    qint64 i = 0;
    double f = 0.0;
    QByteArray s;

    static OscArg Int(qint64 value) { return {'i', value, 0.0, {}}; }
    static OscArg Text(const QByteArray& value) { return {'s', 0, 0.0, value}; }
};

// One OSC message: its address and arguments.
struct OscMessage {
    QByteArray address;
    QList<OscArg> args;
};

namespace osc {

// The largest packet read (a UDP datagram) and the most messages taken from one packet.
inline constexpr std::size_t kMaxPacketBytes = 65536;
inline constexpr int kMaxMessagesPerPacket = 32;
inline constexpr int kMaxBundleDepth = 4;
inline constexpr int kMaxArgs = 8;

// Splits a packet (a message or a bundle of them, nested up to kMaxBundleDepth) into messages,
// decoded by liblo. Returns false, with nothing added, for a packet that is not valid OSC or
// holds more than kMaxMessagesPerPacket messages or a message of more than kMaxArgs arguments.
// Any thread.
bool DecodePacket(const char* data, std::size_t size, QList<OscMessage>* out);

// The bytes of a message of `address` with texts and int32 numbers (other types are left out),
// encoded by liblo; empty when liblo refuses the address. Any thread.
QByteArray EncodeMessage(const QByteArray& address, const QList<OscArg>& args);

}  // namespace osc
