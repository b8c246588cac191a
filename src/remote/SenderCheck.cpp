#include "remote/SenderCheck.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace remote {
namespace {

// 16 bytes of an address, IPv4 as IPv4-mapped IPv6; false when `text` is no numeric address.
bool AddressBytes(const QString& text, in6_addr* out) {
    const QByteArray latin = text.trimmed().toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, latin.constData(), &v4) == 1) {
        std::memset(out, 0, sizeof *out);
        out->s6_addr[10] = 0xff;
        out->s6_addr[11] = 0xff;
        std::memcpy(&out->s6_addr[12], &v4, 4);
        return true;
    }
    return inet_pton(AF_INET6, latin.constData(), out) == 1;
}

}  // namespace

bool IsAllowedSender(const QString& host, const QStringList& allowed) {
    if (allowed.isEmpty()) return true;
    in6_addr sender{};
    if (!AddressBytes(host, &sender)) return false;
    for (const QString& entry : allowed) {
        in6_addr candidate{};
        if (AddressBytes(entry, &candidate) && std::memcmp(&candidate, &sender, sizeof sender) == 0)
            return true;
    }
    return false;
}

}  // namespace remote
