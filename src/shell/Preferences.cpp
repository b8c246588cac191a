#include "shell/Preferences.h"

#include <arpa/inet.h>

#include <QRegularExpression>
#include <QSettings>
#include <QVariant>
#include <algorithm>

#include "shell/AppSettings.h"

namespace {

QString Key(const char* name) { return QString::fromLatin1(name); }

bool IsInRangeOrAllCall(int id) {
    return (id >= 0 && id <= Preferences::kMaxMscDeviceId) || id == Preferences::kMscAllCall;
}

}  // namespace

Preferences::Preferences()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QLatin1String(mvapp::kOrganization),
                                             QLatin1String(mvapp::kApplication))) {}

Preferences::Preferences(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

Preferences::~Preferences() = default;

// ---- Strict reading ---------------------------------------------------------------------------

bool Preferences::ReadBool(const QString& key, bool fallback) const {
    const QVariant value = m_settings->value(key);
    if (!value.isValid()) return fallback;
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) return true;
    if (text == QLatin1String("false") || text == QLatin1String("0")) return false;
    return fallback;
}

int Preferences::ReadInt(const QString& key, int fallback, int min, int max) const {
    const QVariant value = m_settings->value(key);
    if (!value.isValid()) return fallback;
    bool ok = false;
    qlonglong number = 0;
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong ||
        value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::ULongLong) {
        number = value.toLongLong(&ok);
    } else if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        // Only plain decimal numbers: "12abc", "1e3", "0x10" and "" are no numbers here.
        static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]{1,10}$"));
        const QString text = value.toString().trimmed();
        if (decimal.match(text).hasMatch()) number = text.toLongLong(&ok);
    }
    if (!ok || number < min || number > max) return fallback;
    return static_cast<int>(number);
}

QString Preferences::ReadString(const QString& key, const QString& fallback) const {
    const QVariant value = m_settings->value(key);
    if (!value.isValid()) return fallback;
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray)
        return value.toString();
    // A list or anything else stored under a text's name is not that text.
    return fallback;
}

QStringList Preferences::ReadStringList(const QString& key) const {
    const QVariant value = m_settings->value(key);
    if (!value.isValid()) return {};
    if (value.typeId() == QMetaType::QStringList) return value.toStringList();
    if (value.typeId() == QMetaType::QVariantList) {
        QStringList list;
        for (const QVariant& item : value.toList()) {
            if (item.typeId() == QMetaType::QString) list.append(item.toString());
        }
        return list;
    }
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        return text.isEmpty() ? QStringList() : QStringList{text};
    }
    return {};
}

void Preferences::Write(const QString& key, const QVariant& value) {
    m_settings->setValue(key, value);
}

bool Preferences::Sync() {
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool Preferences::IsNumericAddress(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    if (bytes.isEmpty() || bytes.size() > 64 || text.size() != bytes.size()) return false;
    unsigned char buffer[16];
    return inet_pton(AF_INET, bytes.constData(), buffer) == 1 ||
           inet_pton(AF_INET6, bytes.constData(), buffer) == 1;
}

bool Preferences::IsHostPort(const QString& text) {
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    QString host = text.left(colon);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    if (!ok || port < 1 || port > 65535) return false;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        return IsNumericAddress(host.mid(1, host.size() - 2));
    if (IsNumericAddress(host)) return true;
    // A host name: letters, digits, dots and hyphens.
    static const QRegularExpression name(QStringLiteral(
        "^[A-Za-z0-9](?:[A-Za-z0-9-]{0,62})(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,62}))*$"));
    return host.size() <= 253 && name.match(host).hasMatch();
}

// ---- Audio ------------------------------------------------------------------------------------

QString Preferences::GetAudioBackend() const {
    const QString backend = ReadString(Key(kAudioBackend)).trimmed().toLower();
    static const QStringList known = {QStringLiteral("auto"), QStringLiteral("pulse"),
                                      QStringLiteral("jack"), QStringLiteral("alsa")};
    return known.contains(backend) ? backend : QStringLiteral("auto");
}

void Preferences::SetAudioBackend(const QString& backend) { Write(Key(kAudioBackend), backend); }

QStringList Preferences::GetAudioDevices() const {
    QStringList devices = ReadStringList(Key(kAudioDevices));
    devices.removeAll(QString());
    return devices;
}

void Preferences::SetAudioDevices(const QStringList& devices) {
    Write(Key(kAudioDevices), devices);
    m_settings->remove(Key(kAudioDeviceOutputs));  // the counts no longer match the names
}

QList<Preferences::AudioDevice> Preferences::GetAudioDeviceChoice() const {
    // Entry by entry: the names as stored (before empty ones are left out), the numbers beside.
    const QStringList names = ReadStringList(Key(kAudioDevices));
    // Every entry counts (a number stored as a number too), so that they stay beside their names.
    QStringList counts;
    const QVariant stored = m_settings->value(Key(kAudioDeviceOutputs));
    if (stored.typeId() == QMetaType::QStringList || stored.typeId() == QMetaType::QVariantList) {
        for (const QVariant& item : stored.toList()) counts << item.toString();
    } else if (stored.isValid()) {
        counts << stored.toString();
    }
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,3}$"));
    QList<AudioDevice> devices;
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].isEmpty()) continue;
        AudioDevice device{names[i]};
        if (i < counts.size() && decimal.match(counts[i].trimmed()).hasMatch()) {
            const int outputs = counts[i].trimmed().toInt();
            if (outputs >= 1 && outputs <= kMaxDeviceOutputs) device.outputs = outputs;
        }
        devices.append(device);
    }
    return devices;
}

void Preferences::SetAudioDeviceChoice(const QList<AudioDevice>& devices) {
    QStringList names;
    QStringList counts;
    for (const AudioDevice& device : devices) {
        if (device.name.isEmpty()) continue;
        names << device.name;
        counts << QString::number(std::clamp(device.outputs, 1, kMaxDeviceOutputs));
    }
    Write(Key(kAudioDevices), names);
    if (names.isEmpty()) {
        m_settings->remove(Key(kAudioDeviceOutputs));
    } else {
        Write(Key(kAudioDeviceOutputs), counts);
    }
}

// ---- OSC --------------------------------------------------------------------------------------

bool Preferences::GetOscEnabled() const { return ReadBool(Key(kOscEnabled), false); }

void Preferences::SetOscEnabled(bool enabled) { Write(Key(kOscEnabled), enabled); }

int Preferences::GetOscPort() const { return ReadInt(Key(kOscPort), kDefaultOscPort, 1, 65535); }

void Preferences::SetOscPort(int port) { Write(Key(kOscPort), std::clamp(port, 1, 65535)); }

QString Preferences::GetOscInterface() const {
    const QString address = ReadString(Key(kOscInterface)).trimmed();
    return IsNumericAddress(address) ? address : QString();
}

void Preferences::SetOscInterface(const QString& address) {
    Write(Key(kOscInterface), address.trimmed());
}

QString Preferences::GetOscPasscode() const { return ReadString(Key(kOscPasscode)); }

void Preferences::SetOscPasscode(const QString& passcode) { Write(Key(kOscPasscode), passcode); }

QStringList Preferences::GetOscAllowedSenders() const {
    QStringList senders;
    for (const QString& entry : ReadStringList(Key(kOscAllowedSenders))) {
        const QString address = entry.trimmed();
        if (IsNumericAddress(address)) senders.append(address);
    }
    return senders;
}

void Preferences::SetOscAllowedSenders(const QStringList& senders) {
    Write(Key(kOscAllowedSenders), senders);
}

// ---- MIDI -------------------------------------------------------------------------------------

bool Preferences::GetMidiEnabled() const { return ReadBool(Key(kMidiEnabled), false); }

void Preferences::SetMidiEnabled(bool enabled) { Write(Key(kMidiEnabled), enabled); }

QString Preferences::GetMidiPort() const { return ReadString(Key(kMidiPort)); }

void Preferences::SetMidiPort(const QString& port) { Write(Key(kMidiPort), port); }

int Preferences::GetMidiMscDeviceId() const {
    const int id = ReadInt(Key(kMidiMscDeviceId), kMscAllCall, 0, kMscAllCall);
    return IsInRangeOrAllCall(id) ? id : kMscAllCall;
}

void Preferences::SetMidiMscDeviceId(int id) {
    Write(Key(kMidiMscDeviceId), IsInRangeOrAllCall(id) ? id : kMscAllCall);
}

int Preferences::GetMidiMscCommandFormat() const {
    const int format = ReadInt(Key(kMidiMscCommandFormat), kMscFormatSound, 0, 127);
    return format == kMscFormatAll ? kMscFormatAll : kMscFormatSound;
}

void Preferences::SetMidiMscCommandFormat(int format) {
    Write(Key(kMidiMscCommandFormat), format == kMscFormatAll ? kMscFormatAll : kMscFormatSound);
}

std::optional<QStringList> Preferences::GetMidiMappings() const {
    if (!m_settings->contains(Key(kMidiMappings))) return std::nullopt;
    QStringList mappings = ReadStringList(Key(kMidiMappings));
    mappings.removeAll(QString());
    return mappings;
}

void Preferences::SetMidiMappings(const QStringList& mappings) {
    // An empty list is kept as one empty entry, so that "none" is not read back as "never set".
    Write(Key(kMidiMappings), mappings.isEmpty() ? QStringList{QString()} : mappings);
}

// ---- Backup -----------------------------------------------------------------------------------

QStringList Preferences::GetBackupPeers() const {
    QStringList peers;
    for (const QString& entry : ReadStringList(Key(kBackupPeers))) {
        const QString peer = entry.trimmed();
        if (IsHostPort(peer)) peers.append(peer);
    }
    return peers;
}

void Preferences::SetBackupPeers(const QStringList& peers) { Write(Key(kBackupPeers), peers); }

// ---- Show -------------------------------------------------------------------------------------

int Preferences::GetDoubleGoMs() const {
    return ReadInt(Key(kShowDoubleGoMs), 0, 0, kMaxDoubleGoMs);
}

void Preferences::SetDoubleGoMs(int ms) {
    Write(Key(kShowDoubleGoMs), std::clamp(ms, 0, kMaxDoubleGoMs));
}

int Preferences::GetFadeAllMs() const {
    return ReadInt(Key(kShowFadeAllMs), kDefaultFadeAllMs, 0, kMaxFadeAllMs);
}

void Preferences::SetFadeAllMs(int ms) {
    Write(Key(kShowFadeAllMs), std::clamp(ms, 0, kMaxFadeAllMs));
}

// ---- Display ----------------------------------------------------------------------------------

bool Preferences::GetDarkTheme() const { return ReadBool(Key(kDisplayDarkTheme), false); }

void Preferences::SetDarkTheme(bool dark) { Write(Key(kDisplayDarkTheme), dark); }

int Preferences::GetListFontPoints() const {
    const int points = ReadInt(Key(kDisplayListFontPoints), 0, 0, kMaxListFontPoints);
    return points >= kMinListFontPoints ? points : 0;
}

void Preferences::SetListFontPoints(int points) {
    Write(Key(kDisplayListFontPoints),
          points <= 0 ? 0 : std::clamp(points, kMinListFontPoints, kMaxListFontPoints));
}

bool Preferences::GetShowPanel() const { return ReadBool(Key(kDisplayShowPanel), true); }

void Preferences::SetShowPanel(bool show) { Write(Key(kDisplayShowPanel), show); }
