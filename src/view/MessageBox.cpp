#include "view/MessageBox.h"

#include <QApplication>
#include <utility>

namespace mvui {

namespace {
MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}
}  // namespace

int ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon,
                QMessageBox::StandardButtons buttons) {
    if (Handler()) return Handler()(text, icon, buttons);
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(icon, QString::fromLatin1(kAppTitle), text, buttons, parent);
    return box.exec();
}

void SetMessageHandlerForTesting(MessageHandler handler) { Handler() = std::move(handler); }

}  // namespace mvui
