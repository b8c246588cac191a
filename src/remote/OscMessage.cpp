#include "remote/OscMessage.h"

#include <lo/lo.h>

#include <cstring>
#include <memory>

namespace osc {
namespace {

quint32 ReadBigEndian32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

struct MessageDeleter {
    void operator()(void* m) const { lo_message_free(m); }
};

bool DecodeMessage(const char* data, std::size_t size, QList<OscMessage>* out) {
    // The address comes first: a NUL-terminated text starting with '/', padded to 4 bytes.
    if (size < 4 || size % 4 != 0 || data[0] != '/') return false;
    const void* nul = std::memchr(data, 0, size);
    if (nul == nullptr) return false;
    const std::size_t addressLength = static_cast<const char*>(nul) - data;

    int result = 0;
    // liblo copies the bytes before converting them; it does not write to `data`.
    std::unique_ptr<void, MessageDeleter> message(
        lo_message_deserialise(const_cast<char*>(data), size, &result));
    if (!message || result != 0) return false;
    const int argc = lo_message_get_argc(message.get());
    if (argc < 0 || argc > kMaxArgs) return false;
    const char* types = lo_message_get_types(message.get());
    lo_arg** argv = lo_message_get_argv(message.get());
    if (argc > 0 && (types == nullptr || argv == nullptr)) return false;

    OscMessage decoded;
    decoded.address = QByteArray(data, static_cast<qsizetype>(addressLength));
    for (int k = 0; k < argc; ++k) {
        OscArg arg;
        arg.type = types[k];
        switch (types[k]) {
            case LO_INT32:
                arg.type = 'i';
                arg.i = argv[k]->i;
                break;
            case LO_INT64:
                arg.type = 'i';
                arg.i = argv[k]->h;
                break;
            case LO_FLOAT:
                arg.type = 'f';
                arg.f = argv[k]->f;
                break;
            case LO_DOUBLE:
                arg.type = 'f';
                arg.f = argv[k]->d;
                break;
            case LO_STRING:
            case LO_SYMBOL:
                arg.type = 's';
                arg.s = QByteArray(&argv[k]->s);
                break;
            case LO_TRUE:
                arg.type = 'i';
                arg.i = 1;
                break;
            case LO_FALSE:
                arg.type = 'i';
                arg.i = 0;
                break;
            default:
                break;
        }
        decoded.args.append(arg);
    }
    out->append(decoded);
    return true;
}

bool DecodeElement(const char* data, std::size_t size, int depth, QList<OscMessage>* out) {
    static constexpr char kBundle[] = "#bundle";  // with its NUL: 8 bytes
    if (size >= 16 && std::memcmp(data, kBundle, sizeof kBundle) == 0) {
        if (depth >= kMaxBundleDepth) return false;
        std::size_t pos = 16;  // past the name and the time tag (bundles run at once)
        while (pos < size) {
            if (size - pos < 4) return false;
            const quint32 length = ReadBigEndian32(data + pos);
            pos += 4;
            if (length == 0 || length > size - pos) return false;
            if (!DecodeElement(data + pos, length, depth + 1, out)) return false;
            pos += length;
        }
        return true;
    }
    if (out->size() >= kMaxMessagesPerPacket) return false;
    return DecodeMessage(data, size, out);
}

}  // namespace

bool DecodePacket(const char* data, std::size_t size, QList<OscMessage>* out) {
    if (data == nullptr || size == 0 || size > kMaxPacketBytes) return false;
    QList<OscMessage> messages;
    if (!DecodeElement(data, size, 0, &messages)) return false;
    out->append(messages);
    return true;
}

QByteArray EncodeMessage(const QByteArray& address, const QList<OscArg>& args) {
    std::unique_ptr<void, MessageDeleter> message(lo_message_new());
    if (!message) return {};
    for (const OscArg& arg : args) {
        if (arg.type == 's') {
            lo_message_add_string(message.get(), arg.s.constData());
        } else if (arg.type == 'i') {
            lo_message_add_int32(message.get(), static_cast<int32_t>(arg.i));
        }
    }
    const QByteArray path = address.isEmpty() ? QByteArray("/") : address;
    std::size_t size = 0;
    void* bytes = lo_message_serialise(message.get(), path.constData(), nullptr, &size);
    if (bytes == nullptr) return {};
    QByteArray encoded(static_cast<const char*>(bytes), static_cast<qsizetype>(size));
    std::free(bytes);
    return encoded;
}

}  // namespace osc
