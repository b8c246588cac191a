#include "view/CueClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QObject>

namespace CueClipboard {
namespace {

std::function<bool()>& PlaceHook() {
    static std::function<bool()> hook;
    return hook;
}

QClipboard* SystemClipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
               ? QGuiApplication::clipboard()
               : nullptr;
}

// Whether the clipboard holds the format, kept up to date by the clipboard's change signal.
struct FormatWatch {
    bool watching = false;
    bool hasCues = false;
};

FormatWatch& Watch() {
    static FormatWatch watch;
    return watch;
}

bool QueryHasCues(QClipboard* clipboard) {
    const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
    return data != nullptr && data->hasFormat(QString::fromLatin1(kMimeType));
}

// Starts following the clipboard's changes (once) and returns the current answer holder.
FormatWatch& EnsureWatching(QClipboard* clipboard) {
    FormatWatch& watch = Watch();
    if (!watch.watching) {
        QObject::connect(clipboard, &QClipboard::dataChanged, clipboard,
                         [clipboard] { Watch().hasCues = QueryHasCues(clipboard); });
        watch.hasCues = QueryHasCues(clipboard);
        watch.watching = true;
    }
    return watch;
}

}  // namespace

QByteArray PadToBlocks(const QByteArray& data) {
    const qsizetype blocks = std::max<qsizetype>(1, (data.size() + kBlockBytes - 1) / kBlockBytes);
    QByteArray padded = data;
    padded.append(blocks * kBlockBytes - data.size(), '\0');
    return padded;
}

bool Place(const QByteArray& payload) {
    if (PlaceHook() && !PlaceHook()()) return false;
    QClipboard* clipboard = SystemClipboard();
    if (clipboard == nullptr) return false;
    FormatWatch& watch = EnsureWatching(clipboard);
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kMimeType), payload);
    clipboard->setMimeData(mime, QClipboard::Clipboard);  // the clipboard owns mime now
    // The clipboard may have refused (no owner window, another client took it at once): only
    // data that is there now counts as placed.
    const QMimeData* now = clipboard->mimeData(QClipboard::Clipboard);
    const bool placed = now != nullptr && now->data(QString::fromLatin1(kMimeType)) == payload;
    watch.hasCues = QueryHasCues(clipboard);
    return placed;
}

std::optional<QByteArray> Fetch() {
    QClipboard* clipboard = SystemClipboard();
    if (clipboard == nullptr) return std::nullopt;
    const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
    const QString format = QString::fromLatin1(kMimeType);
    if (data == nullptr || !data->hasFormat(format)) return std::nullopt;
    return data->data(format);
}

bool HasCues() {
    QClipboard* clipboard = SystemClipboard();
    return clipboard != nullptr && EnsureWatching(clipboard).hasCues;
}

void SetPlaceHookForTesting(std::function<bool()> allowPlace) {
    PlaceHook() = std::move(allowPlace);
}

}  // namespace CueClipboard
