#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

// The splash picture shown once at start-up over the main window. It goes away after two
// seconds or at the first key or mouse-button press anywhere in the program, whichever comes
// first; that press is swallowed (FilterInputEvent). At most one splash exists at a time; it
// deletes itself when it is hidden. UI thread only.
class CSplashWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShowMs = 2000;
    static constexpr const char* kPicturePath = ":/images/splash.png";

    // Whether ShowSplash may show a splash (set from the command line).
    static void EnableSplash(bool enable);
    // Shows the splash centred over `parent`, when enabled and none is shown. Without a picture
    // the program goes on without a splash, silently.
    static void ShowSplash(QWidget* parent);
    // The splash now shown, or null.
    static CSplashWnd* GetCurrent();
    // Offered every event of the program before it is delivered: consumes the first key or
    // mouse-button press while a splash is shown, hiding the splash. Returns true when consumed.
    static bool FilterInputEvent(QObject* receiver, QEvent* event);

    // Closes the splash and repaints the main window at once.
    void HideSplash();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CSplashWnd(QWidget* parent, const QPixmap& picture);
    ~CSplashWnd() override;

    QPixmap m_picture;
    QPointer<QWidget> m_pMainWnd;
    QTimer m_timer;

    static bool s_enabled;
    static CSplashWnd* s_current;
};
