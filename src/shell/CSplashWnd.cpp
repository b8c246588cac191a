#include "shell/CSplashWnd.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

bool CSplashWnd::s_enabled = false;
CSplashWnd* CSplashWnd::s_current = nullptr;

void CSplashWnd::EnableSplash(bool enable) { s_enabled = enable; }

CSplashWnd* CSplashWnd::GetCurrent() { return s_current; }

void CSplashWnd::ShowSplash(QWidget* parent) {
    if (!s_enabled || s_current) return;
    const QPixmap picture(QString::fromLatin1(kPicturePath));
    if (picture.isNull()) return;
    auto* splash = new CSplashWnd(parent, picture);
    splash->show();
    splash->raise();
    splash->repaint();
}

CSplashWnd::CSplashWnd(QWidget* parent, const QPixmap& picture)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(picture),
      m_pMainWnd(parent) {
    s_current = this;
    setObjectName(QStringLiteral("Splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(m_picture.deviceIndependentSize().toSize());
    QRect area = parent ? parent->frameGeometry() : QRect();
    if (area.isEmpty() && QGuiApplication::primaryScreen())
        area = QGuiApplication::primaryScreen()->availableGeometry();
    move(area.center() - rect().center());
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CSplashWnd::HideSplash);
    m_timer.start(kShowMs);
}

CSplashWnd::~CSplashWnd() {
    if (s_current == this) s_current = nullptr;
}

void CSplashWnd::HideSplash() {
    if (s_current == this) s_current = nullptr;
    m_timer.stop();
    const bool wasActive = isActiveWindow();
    close();
    if (m_pMainWnd) {
        // Where the splash took the keyboard, the main window gets it back for the live keys.
        if (wasActive) m_pMainWnd->activateWindow();
        m_pMainWnd->repaint();
    }
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

bool CSplashWnd::FilterInputEvent(QObject* receiver, QEvent* event) {
    if (!s_current) return false;
    if (!receiver || !receiver->isWidgetType()) return false;
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Claim the key, so that no shortcut acts on it; the press itself follows.
            event->accept();
            return true;
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick:
            s_current->HideSplash();
            return true;
        default:
            return false;
    }
}
