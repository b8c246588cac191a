#include "view/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <utility>

namespace mvui {

namespace {
MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}
}  // namespace

int ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon,
                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    if (Handler()) return Handler()(text, icon, buttons);
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(icon, QString::fromLatin1(kAppTitle), text, buttons, parent);
    // Texts carry file names and cue texts: shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    // Plain buttons, as in the system's own message boxes, whatever the style would add.
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
    return box.exec();
}

void SetMessageHandlerForTesting(MessageHandler handler) { Handler() = std::move(handler); }

}  // namespace mvui
