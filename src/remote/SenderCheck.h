#pragma once

#include <QString>
#include <QStringList>

namespace remote {

// Whether `host` (a numeric address) is one of `allowed` (numeric addresses), comparing the
// addresses, not their texts ("::ffff:10.0.0.5" is 10.0.0.5); an empty list allows everyone,
// and entries that are no address allow no one. Any thread.
bool IsAllowedSender(const QString& host, const QStringList& allowed);

}  // namespace remote
