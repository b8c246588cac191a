// Takes the screenshots of the user guide from the real program: it starts Marvane on the demo
// show, as `marvane /Embedding Demo.mvl` would, walks through what each page of the guide shows
// and writes one PNG per picture. Run by scripts/help-screenshots.sh under Xvfb with virtual
// outputs.
//   marvane-help-screenshots DEMO_LIST HELP_FOLDER
// The pictures go to HELP_FOLDER/images, and the help window shows the pages of HELP_FOLDER.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "shell/CHelpWindow.h"
#include "shell/CMainFrame.h"
#include "shell/CMarvaneApp.h"
#include "shell/HelpPages.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"

namespace {

QString g_outputFolder;
int g_failures = 0;

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Save(const QPixmap& picture, const QString& name) {
    const QString path = g_outputFolder + QLatin1Char('/') + name;
    if (picture.isNull() || !picture.save(path, "PNG", 9)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s %dx%d\n", qPrintable(path), picture.width(), picture.height());
}

// `window` with the pop-up `popup` (a menu, a drop-down list) drawn where it shows on screen.
QPixmap WithPopup(QWidget* window, QWidget* popup) {
    QPixmap picture = window->grab();
    const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0));
    const QRect needed = QRect(QPoint(0, 0), picture.size()).united(QRect(at, popup->size()));
    QPixmap combined(needed.size());
    combined.fill(window->palette().color(QPalette::Window));
    QPainter painter(&combined);
    painter.drawPixmap(0, 0, picture);
    painter.drawPixmap(at, popup->grab());
    return combined;
}

// Runs `open` (which shows a modal dialog and returns when it is closed) and, once the dialog is
// up, lets `shoot` take its picture before the dialog is cancelled.
void WhileModal(const std::function<void()>& open, const std::function<void(QWidget*)>& shoot) {
    QTimer::singleShot(800, [shoot] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) {
            std::fprintf(stderr, "no dialog appeared\n");
            ++g_failures;
            return;
        }
        shoot(dialog);
        if (auto* d = qobject_cast<QDialog*>(dialog)) {
            d->reject();
        } else {
            dialog->close();
        }
    });
    open();
}

QMenu* MenuNamed(CMainFrame* frame, const QString& title) {
    for (QAction* action : frame->menuBar()->actions()) {
        if (action->text() == title) return action->menu();
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: marvane-help-screenshots DEMO_LIST HELP_FOLDER\n", stderr);
        return 2;
    }
    const QString demo = QString::fromLocal8Bit(argv[1]);
    const QString helpFolder = QString::fromLocal8Bit(argv[2]);
    mvhelp::UseHelpIndex(helpFolder + QStringLiteral("/index.html"));
    g_outputFolder = helpFolder + QStringLiteral("/images");
    QDir().mkpath(g_outputFolder);

    CMarvaneApp marvane;
    marvane.SetRegisterDesktopIntegration(false);
    if (!marvane.InitInstance({QStringLiteral("/Embedding"), demo})) {
        std::fputs("Marvane did not start\n", stderr);
        return 1;
    }
    CMainFrame* frame = marvane.GetMainFrame();
    CMVView* view = frame->GetView();
    CMVDoc* doc = marvane.GetDocument();
    frame->resize(900, 420);
    Wait(500);

    // The demo show as it opens, the first cue highlighted.
    view->SelectCue(doc->GetCue(0));
    Wait(300);
    Save(frame->grab(), QStringLiteral("main-window.png"));

    // Running: the rain loops under the thunder and music group, the doorbell highlighted next.
    view->SelectCue(view->FindCueById(QStringLiteral("Q020")));
    frame->DispatchCommand(ID_AUDIO_GO);
    Wait(1200);
    frame->DispatchCommand(ID_AUDIO_GO);
    Wait(1500);
    Save(frame->grab(), QStringLiteral("running.png"));

    // The live keys as the Audio menu lists them.
    if (QMenu* audio = MenuNamed(frame, QStringLiteral("&Audio"))) {
        audio->popup(frame->menuBar()->mapToGlobal(
            frame->menuBar()->actionGeometry(audio->menuAction()).bottomLeft()));
        Wait(400);
        Save(WithPopup(frame, audio), QStringLiteral("audio-menu.png"));
        audio->close();
    }
    frame->DispatchCommand(ID_AUDIO_STOPALL);
    Wait(800);

    // Files: the File menu with the demo among the recent cue lists.
    if (QMenu* file = MenuNamed(frame, QStringLiteral("&File"))) {
        file->popup(frame->menuBar()->mapToGlobal(
            frame->menuBar()->actionGeometry(file->menuAction()).bottomLeft()));
        Wait(400);
        Save(WithPopup(frame, file), QStringLiteral("file-menu.png"));
        file->close();
    }

    // Preparing: the Cue Settings dialog of the rain cue.
    view->SelectCue(view->FindCueById(QStringLiteral("Q020")));
    WhileModal([&] { frame->DispatchCommand(ID_EDIT_EDITCUE); },
               [](QWidget* dialog) { Save(dialog->grab(), QStringLiteral("cue-settings.png")); });

    // Devices: the same dialog with its list of channels open.
    WhileModal([&] { frame->DispatchCommand(ID_EDIT_EDITCUE); },
               [](QWidget* dialog) {
                   auto* channels = dialog->findChild<QComboBox*>();
                   for (QComboBox* combo : dialog->findChildren<QComboBox*>()) {
                       if (combo->count() > 0) channels = combo;
                   }
                   if (!channels) return;
                   channels->showPopup();
                   Wait(400);
                   QWidget* popup = channels->view()->window();
                   Save(WithPopup(dialog, popup), QStringLiteral("channels.png"));
                   channels->hidePopup();
               });

    // Remote control: the OSC page of the Preferences dialog.
    WhileModal([&] { frame->DispatchCommand(ID_EDIT_PREFERENCES); },
               [](QWidget* dialog) {
                   auto* tabs = dialog->findChild<QTabWidget*>();
                   for (int i = 0; tabs && i < tabs->count(); ++i) {
                       if (tabs->tabText(i).remove('&') == QStringLiteral("OSC"))
                           tabs->setCurrentIndex(i);
                   }
                   Wait(300);
                   Save(dialog->grab(), QStringLiteral("osc-preferences.png"));
               });

    // The command line: About shows the version that --version prints.
    WhileModal([&] { marvane.OnCmdMsg(ID_APP_ABOUT); },
               [](QWidget* dialog) { Save(dialog->grab(), QStringLiteral("about.png")); });

    // Troubleshooting: Go on a cue whose sound file is missing.
    CQRecord* doorbell = view->FindCueById(QStringLiteral("Q010"));
    const QByteArray path = doorbell->m_strPath;
    doorbell->m_strPath = QFileInfo(demo).absolutePath().toUtf8() + "/doorbell-missing.wav";
    view->SelectCue(doorbell);
    WhileModal([&] { frame->DispatchCommand(ID_AUDIO_GO); },
               [](QWidget* box) { Save(box->grab(), QStringLiteral("missing-file.png")); });
    doorbell->m_strPath = path;

    // The help window on the page of keys.
    frame->DispatchCommand(ID_HELP_FINDER);
    Wait(300);
    if (CHelpWindow* help = frame->GetHelpWindow()) {
        help->resize(760, 560);
        help->ShowPage(QStringLiteral("keys.html"));
        Wait(400);
        Save(help->grab(), QStringLiteral("help-window.png"));
        help->close();
    } else {
        std::fputs("the help window did not open\n", stderr);
        ++g_failures;
    }

    doc->SetModifiedFlag(false);
    marvane.ExitInstance(0);
    return g_failures == 0 ? 0 : 1;
}
