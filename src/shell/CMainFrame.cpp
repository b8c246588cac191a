#include "shell/CMainFrame.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/OutputDevice.h"
#include "shell/CAudioPrefsPage.h"
#include "shell/CDeviceWatch.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QUndoStack>
#include <QUrl>
#include <algorithm>
#include <cstdint>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "platform/text/AnsiText.h"
#include "shell/AppSettings.h"
#include "shell/CBackupPrefsPage.h"
#include "shell/CDisplayPrefsPage.h"
#include "shell/CHelpWindow.h"
#include "shell/CMidiPrefsPage.h"
#include "shell/COscPrefsPage.h"
#include "shell/CPositionBar.h"
#include "shell/CPreferencesDlg.h"
#include "shell/CRemoteControl.h"
#include "shell/CShowPanel.h"
#include "shell/CShowPrefsPage.h"
#include "shell/CSplashWnd.h"
#include "shell/GoLog.h"
#include "shell/HelpPages.h"
#include "shell/ICommandTarget.h"
#include "shell/Preferences.h"
#include "shell/ShellResources.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"

namespace {

// How often the toolbar's enabled states are brought up to date while nothing else asks.
constexpr int kCommandUIUpdateMs = 250;

// One keyboard accelerator: keys and the command they give.
struct Accelerator {
    QKeyCombination keys;
    int id;
};

QString IconPath(const char* name) {
    return QStringLiteral(":/toolbar/%1.svg").arg(QLatin1String(name));
}

}  // namespace

CMainFrame::CMainFrame(CMVDoc* doc, ICommandTarget* commands, QWidget* parent)
    : QMainWindow(parent),
      m_pDoc(doc),
      m_pCommands(commands),
      m_pPrefs(std::make_unique<Preferences>()) {
    InitShellResources();
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/marvane.svg")));
    setContextMenuPolicy(Qt::NoContextMenu);

    m_pView = new CMVView(doc, this);
    setCentralWidget(m_pView);
    // The first window is wide enough to show every column, as far as the screen allows.
    QSize size(std::max(980, m_pView->GetWidthForAllColumns()), 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    resize(size);

    RestoreWindowRect();
    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateStatusBar();
    auto* deviceWatch = new CDeviceWatch(theSoundOutput, statusBar(), this);  // lost, dropouts
    CreateAccelerators();
    ConnectView();
    CreateShowParts();
    // Channels added or found: the meters and the show check follow (Cue Settings reads the
    // channel list each time it opens).
    connect(deviceWatch, &CDeviceWatch::channelsChanged, this, [this] {
        if (m_pShowPanel) m_pShowPanel->RefreshMeterNames();
        m_pView->RequestShowCheck();
    });
    UpdateTitle();
    m_pRemote = new CRemoteControl(this);
    ApplyPreferences();

    connect(m_pDoc, &CMVDoc::pathNameChanged, this, &CMainFrame::UpdateTitle);
    connect(m_pDoc, &CMVDoc::contentsReset, this, &CMainFrame::UpdateTitle);
    connect(m_pDoc, &CMVDoc::modifiedChanged, this, &CMainFrame::RequestCommandUIUpdate);
    connect(m_pDoc, &CMVDoc::modifiedChanged, this, &CMainFrame::UpdateTitle);
    QUndoStack* history = m_pView->GetUndoStack();
    connect(history, &QUndoStack::undoTextChanged, this, &CMainFrame::UpdateUndoTexts);
    connect(history, &QUndoStack::redoTextChanged, this, &CMainFrame::UpdateUndoTexts);
    connect(history, &QUndoStack::indexChanged, this, &CMainFrame::RequestCommandUIUpdate);
    UpdateUndoTexts();

    m_updateTimer.setInterval(kCommandUIUpdateMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    m_updateTimer.start();
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
    if (!m_bRectSaved) SaveWindowRect();
    m_updateTimer.stop();
    // Remote inputs stop before the view goes: nothing may arrive for a view that is gone.
    delete m_pRemote;
    m_pRemote = nullptr;
    // The view goes first, while the frame is whole: it stops its players and reports "none".
    if (m_pView) {
        disconnect(m_pView, nullptr, this, nullptr);
        m_pView->SetStartPositionSource(nullptr);
        m_pCurrentPlayer = nullptr;
        delete m_pView;
        m_pView = nullptr;
    }
}

// ---- Commands -------------------------------------------------------------------------------

QAction* CMainFrame::AddAction(int id, const QString& menuText, const QString& prompt,
                               const QString& icon) {
    auto* action = new QAction(menuText, this);
    const int newline = prompt.indexOf(QLatin1Char('\n'));
    action->setStatusTip(newline < 0 ? prompt : prompt.left(newline));
    action->setToolTip(
        newline < 0 ? QString(menuText).remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0)
                    : prompt.mid(newline + 1));
    if (!icon.isEmpty()) action->setIcon(QIcon(icon));
    action->setData(id);
    // Keys are the accelerators' (CreateAccelerators); the menu only shows their names.
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, [this, id] {
        DispatchCommand(
            id, std::nullopt,
            m_bToolButtonDown ? CommandSource::FromButton() : CommandSource::FromMenu());
    });
    m_actions.insert(id, action);
    return action;
}

void CMainFrame::CreateActions() {
    AddAction(ID_FILE_NEW, tr("&New\tCtrl+N"), tr("Create a new document\nNew"), IconPath("new"));
    AddAction(ID_FILE_OPEN, tr("&Open...\tCtrl+O"), tr("Open an existing document\nOpen"),
              IconPath("open"));
    AddAction(ID_FILE_SAVE, tr("&Save\tCtrl+S"), tr("Save the active document\nSave"),
              IconPath("save"));
    AddAction(ID_FILE_SAVE_AS, tr("Save &As..."),
              tr("Save the active document with a new name\nSave As"));
    AddAction(ID_FILE_CHECKSHOW, tr("Chec&k Show..."),
              tr("List every cue that would fail: missing or unplayable files, missing "
                 "channels\nCheck Show"));
    AddAction(ID_FILE_COLLECT, tr("Co&llect Show Folder..."),
              tr("Copy the list and every sound file it uses into one folder\nCollect Show "
                 "Folder"));
    AddAction(ID_FILE_PRINT, tr("&Print...\tCtrl+P"), tr("Print the active document\nPrint"),
              IconPath("print"));
    AddAction(ID_FILE_PRINT_PREVIEW, tr("Print Pre&view"), tr("Display full pages\nPrint Preview"));
    AddAction(ID_FILE_PRINT_SETUP, tr("P&rint Setup..."),
              tr("Change the printer and printing options\nPrint Setup"));
    for (int i = 0; i < kRecentFileCount; ++i)
        AddAction(ID_FILE_MRU_FILE1 + i, QString(), tr("Open this document"));
    AddAction(ID_APP_EXIT, tr("E&xit"),
              tr("Quit the application; prompts to save documents\nExit"));

    AddAction(ID_EDIT_UNDO, tr("&Undo\tCtrl+Z"), tr("Undo the last action\nUndo"));
    AddAction(ID_EDIT_REDO, tr("&Redo\tCtrl+Y"), tr("Redo the previously undone action\nRedo"));
    AddAction(ID_EDIT_ADDCUE, tr("&Add Cue\tA"), tr("Add or insert a new cue\nAdd Cue"),
              IconPath("addcue"));
    AddAction(ID_EDIT_EDITCUE, tr("&Edit Cue"), tr("Edit cue settings\nEdit Cue"),
              IconPath("editcue"));
    AddAction(ID_EDIT_CUT, tr("Cu&t\tCtrl+X"),
              tr("Cut the selection and put it on the Clipboard\nCut"), IconPath("cut"));
    AddAction(ID_EDIT_COPY, tr("&Copy\tCtrl+C"),
              tr("Copy the selection and put it on the Clipboard\nCopy"), IconPath("copy"));
    AddAction(ID_EDIT_PASTE, tr("&Paste\tCtrl+V"), tr("Insert Clipboard contents\nPaste"),
              IconPath("paste"));
    AddAction(ID_EDIT_CLEAR, tr("&Delete\tDEL"), tr("Delete selected cues\nDelete"),
              IconPath("delete"));
    // No key: Ctrl+, is the volume-down key for every cue.
    AddAction(ID_EDIT_PREFERENCES, tr("Pre&ferences..."),
              tr("Change how the program runs the show and talks to other equipment\n"
                 "Preferences"));

    AddAction(ID_VIEW_TOOLBAR, tr("&Toolbar"), tr("Show or hide the toolbar\nToggle ToolBar"))
        ->setCheckable(true);
    AddAction(ID_VIEW_PLAYPOSITION, tr("&Play Position"),
              tr("Show or hide the Play Position\nToggle Play Position"))
        ->setCheckable(true);
    AddAction(ID_VIEW_STATUS_BAR, tr("&Status Bar"),
              tr("Show or hide the status bar\nToggle StatusBar"))
        ->setCheckable(true);

    AddAction(ID_AUDIO_GO, tr("Go\tENTER"), tr("Start the highlighted cue\nPlay Cue"),
              IconPath("go"));
    AddAction(ID_AUDIO_FADEIN, tr("Fade in"), QString());
    AddAction(ID_AUDIO_FADEOUT, tr("Fade out\t0"), tr("Auto-fade current cue\nFade Out"),
              IconPath("fadeout"));
    AddAction(ID_AUDIO_KILL, tr("Kill\tK"), tr("Stop current cue\nKill cue"), IconPath("kill"));
    AddAction(ID_AUDIO_VOLUP, tr("Increase Vol\t>"), tr("Increase volume by 1dB\nIncrease Volume"),
              IconPath("volup"));
    AddAction(ID_AUDIO_VOLDOWN, tr("Decrease Vol\t<"),
              tr("Decrease volume by 1dB\nDecrease Volume"), IconPath("voldown"));
    AddAction(ID_AUDIO_SPEEDUP, tr("Speed up\tF"), tr("Speed up/raise pitch\nSpeed Up"),
              IconPath("speedup"));
    AddAction(ID_AUDIO_SLOWDOWN, tr("Slow down\tS"), tr("Slow down/drop pitch\nSlow Down"),
              IconPath("slowdown"));
    AddAction(ID_AUDIO_NORMALSPEED, tr("Normal speed\tN"), tr("Restore normal pitch\nNormal pitch"),
              IconPath("normalspeed"));
    AddAction(ID_AUDIO_FADEALL, tr("Fade All\tShift+ESC"),
              tr("Fade every cue out together; press again to stop at once\nFade All"),
              IconPath("fadeall"));
    AddAction(ID_VIEW_SHOWPANEL, tr("Show &Panel"),
              tr("Show or hide the show panel\nToggle Show Panel"))
        ->setCheckable(true);
    AddAction(ID_VIEW_DARKTHEME, tr("&Dark Theme"), tr("Dark colours for a dark booth\nDark Theme"))
        ->setCheckable(true);
    AddAction(ID_VIEW_FONT_LARGER, tr("&Larger List Font\tCtrl++"),
              tr("Make the cue list's text larger\nLarger Font"));
    AddAction(ID_VIEW_FONT_SMALLER, tr("S&maller List Font\tCtrl+-"),
              tr("Make the cue list's text smaller\nSmaller Font"));
    AddAction(ID_HELP_SHOWLOG, tr("Show &Log"),
              tr("Open the folder of the Go logs, one per show and day\nShow Log"));
    AddAction(ID_AUDIO_STOPALL, tr("Stop All\tESC"), tr("Stop all cues\nImmediate silence!"),
              IconPath("stopall"));

    AddAction(ID_HELP_FINDER, tr("&Help Topics F1"), tr("List Help topics\nHelp Topics"));
    AddAction(ID_HELP, tr("Help"), tr("Display help for current task or command\nHelp"));
    AddAction(ID_APP_ABOUT, tr("&About Marvane..."),
              tr("Display program information, version number and copyright\nAbout"));
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    m_pFileMenu = bar->addMenu(tr("&File"));
    m_pFileMenu->addAction(GetAction(ID_FILE_NEW));
    m_pFileMenu->addAction(GetAction(ID_FILE_OPEN));
    m_pFileMenu->addAction(GetAction(ID_FILE_SAVE));
    m_pFileMenu->addAction(GetAction(ID_FILE_SAVE_AS));
    m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(GetAction(ID_FILE_CHECKSHOW));
    m_pFileMenu->addAction(GetAction(ID_FILE_COLLECT));
    m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(GetAction(ID_FILE_PRINT));
    m_pFileMenu->addAction(GetAction(ID_FILE_PRINT_PREVIEW));
    m_pFileMenu->addAction(GetAction(ID_FILE_PRINT_SETUP));
    m_pFileMenu->addSeparator();
    m_pRecentPlaceholder = m_pFileMenu->addAction(tr("Recent File"));
    m_pRecentPlaceholder->setEnabled(false);
    for (int i = 0; i < kRecentFileCount; ++i)
        m_pFileMenu->addAction(GetAction(ID_FILE_MRU_FILE1 + i));
    m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(GetAction(ID_APP_EXIT));

    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->addAction(GetAction(ID_EDIT_UNDO));
    edit->addAction(GetAction(ID_EDIT_REDO));
    edit->addSeparator();
    edit->addAction(GetAction(ID_EDIT_ADDCUE));
    edit->addSeparator();
    edit->addAction(GetAction(ID_EDIT_CUT));
    edit->addAction(GetAction(ID_EDIT_COPY));
    edit->addAction(GetAction(ID_EDIT_PASTE));
    edit->addSeparator();
    edit->addAction(GetAction(ID_EDIT_CLEAR));
    edit->addSeparator();
    edit->addAction(GetAction(ID_EDIT_PREFERENCES));

    QMenu* view = bar->addMenu(tr("&View"));
    view->addAction(GetAction(ID_VIEW_TOOLBAR));
    view->addAction(GetAction(ID_VIEW_PLAYPOSITION));
    view->addAction(GetAction(ID_VIEW_STATUS_BAR));
    view->addSeparator();
    view->addAction(GetAction(ID_VIEW_SHOWPANEL));
    view->addAction(GetAction(ID_VIEW_DARKTHEME));
    view->addAction(GetAction(ID_VIEW_FONT_LARGER));
    view->addAction(GetAction(ID_VIEW_FONT_SMALLER));

    QMenu* audio = bar->addMenu(tr("&Audio"));
    audio->addAction(GetAction(ID_AUDIO_GO));
    audio->addAction(GetAction(ID_AUDIO_FADEOUT));
    audio->addAction(GetAction(ID_AUDIO_KILL));
    audio->addSeparator();
    audio->addAction(GetAction(ID_AUDIO_VOLUP));
    audio->addAction(GetAction(ID_AUDIO_VOLDOWN));
    audio->addSeparator();
    audio->addAction(GetAction(ID_AUDIO_SPEEDUP));
    audio->addAction(GetAction(ID_AUDIO_SLOWDOWN));
    audio->addAction(GetAction(ID_AUDIO_NORMALSPEED));
    audio->addSeparator();
    audio->addAction(GetAction(ID_AUDIO_STOPALL));
    audio->addAction(GetAction(ID_AUDIO_FADEALL));

    QMenu* help = bar->addMenu(tr("&Help"));
    help->addAction(GetAction(ID_HELP_FINDER));
    help->addAction(GetAction(ID_HELP_SHOWLOG));
    help->addSeparator();
    help->addAction(GetAction(ID_APP_ABOUT));

    for (QMenu* menu : {m_pFileMenu, edit, view, audio, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    connect(m_pFileMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildRecentFileMenu);
    RebuildRecentFileMenu();
}

void CMainFrame::RebuildRecentFileMenu() {
    int shown = 0;
    for (int i = 0; i < kRecentFileCount; ++i) {
        QAction* action = GetAction(ID_FILE_MRU_FILE1 + i);
        const QString text = m_pCommands ? m_pCommands->GetRecentFileMenuText(i) : QString();
        action->setText(text);
        action->setVisible(!text.isEmpty());
        if (!text.isEmpty()) ++shown;
    }
    m_pRecentPlaceholder->setVisible(shown == 0);
}

void CMainFrame::CreateToolBars() {
    m_pToolBar = new QToolBar(tr("Toolbar"), this);
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    m_pToolBar->setFloatable(false);
    m_pToolBar->setAllowedAreas(Qt::TopToolBarArea);
    const int groups[][5] = {
        {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_PRINT, 0},
        {ID_EDIT_ADDCUE, ID_EDIT_EDITCUE, ID_EDIT_CLEAR, 0, 0},
        {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0, 0},
        {ID_AUDIO_GO, ID_AUDIO_VOLUP, ID_AUDIO_VOLDOWN, ID_AUDIO_FADEOUT, ID_AUDIO_KILL},
        {ID_AUDIO_SPEEDUP, ID_AUDIO_SLOWDOWN, ID_AUDIO_NORMALSPEED, 0, 0},
        {ID_AUDIO_STOPALL, ID_AUDIO_FADEALL, 0, 0, 0},
    };
    bool first = true;
    for (const auto& group : groups) {
        if (!first) m_pToolBar->addSeparator();
        first = false;
        for (int id : group)
            if (id) m_pToolBar->addAction(GetAction(id));
    }
    // The actions a button triggers are told apart from those of the menus by the press that
    // comes before them; the mark goes once the release has been handled.
    for (QAction* action : m_pToolBar->actions()) {
        auto* button = qobject_cast<QAbstractButton*>(m_pToolBar->widgetForAction(action));
        if (button == nullptr) continue;
        connect(button, &QAbstractButton::pressed, this, [this] { m_bToolButtonDown = true; });
        connect(button, &QAbstractButton::released, this,
                [this] { QTimer::singleShot(0, this, [this] { m_bToolButtonDown = false; }); });
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);

    // The play position bar is the second band, on a row of its own.
    addToolBarBreak(Qt::TopToolBarArea);
    m_pPositionBand = new QToolBar(tr("Play Position"), this);
    m_pPositionBand->setObjectName(QStringLiteral("PositionBand"));
    m_pPositionBand->setFloatable(false);
    m_pPositionBand->setAllowedAreas(Qt::TopToolBarArea);
    m_pPositionBar = new CPositionBar(m_pPositionBand);
    m_pPositionBand->addWidget(m_pPositionBar);
    addToolBar(Qt::TopToolBarArea, m_pPositionBand);

    m_pPositionSlider = m_pPositionBar->GetSlider();
    m_pPositionSlider->setRange(0, 100);
    m_pPositionSlider->setPageStep(10);
    m_pPositionSlider->setSingleStep(1);
    m_pPositionSlider->setValue(0);
    connect(m_pPositionBar, &CPositionBar::hScroll, this, &CMainFrame::OnHScroll,
            Qt::DirectConnection);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    m_pPromptPane = new QLabel(QString::fromLatin1(kIdleMessage), bar);
    m_pPromptPane->setObjectName(QStringLiteral("PromptPane"));
    // A cue's description is shown as it is, never read as markup.
    m_pPromptPane->setTextFormat(Qt::PlainText);
    m_pPromptPane->setMinimumWidth(1);
    // The prompts of menu items and buttons are drawn 6 pixels in from the bar's edge: the pane's
    // own text starts there too, so that it does not jump sideways as the mouse passes over them.
    m_pPromptPane->setContentsMargins(4, 0, 0, 0);
    bar->addWidget(m_pPromptPane, 1);

    const QFontMetrics metrics(bar->font());
    m_pTimeToGoPane = new QLabel(bar);
    m_pTimeToGoPane->setObjectName(QStringLiteral("TimeToGoPane"));
    m_pTimeToGoPane->setTextFormat(Qt::PlainText);
    m_pTimeToGoPane->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("TTG:00.00")) + 8);
    m_pTimeToGoPane->setAlignment(Qt::AlignCenter);
    bar->addPermanentWidget(m_pTimeToGoPane);
    m_pCuesPane = new QLabel(bar);
    m_pCuesPane->setObjectName(QStringLiteral("CuesPane"));
    m_pCuesPane->setTextFormat(Qt::PlainText);
    m_pCuesPane->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("Cues:000")) + 8);
    m_pCuesPane->setAlignment(Qt::AlignCenter);
    m_pCuesPane->setText(m_pView->GetCueCountText());
    bar->addPermanentWidget(m_pCuesPane);
    SetTimeToGo(QString(), false);
}

void CMainFrame::CreateAccelerators() {
    using K = Qt::Key;
    const Qt::KeyboardModifier none = Qt::NoModifier;
    const Qt::KeyboardModifier shift = Qt::ShiftModifier;
    const Qt::KeyboardModifier ctrl = Qt::ControlModifier;
    const Accelerator keys[] = {
        {QKeyCombination(none, K::Key_Return), ID_AUDIO_GO},
        {QKeyCombination(none, K::Key_Enter), ID_AUDIO_GO},
        {QKeyCombination(Qt::KeypadModifier, K::Key_Enter), ID_AUDIO_GO},
        {QKeyCombination(none, K::Key_0), ID_AUDIO_FADEOUT},
        {QKeyCombination(ctrl, K::Key_0), ID_AUDIO_FADEOUT},
        {QKeyCombination(shift, K::Key_0), ID_AUDIO_FADEOUT},
        {QKeyCombination(none, K::Key_I), ID_AUDIO_FADEIN},
        {QKeyCombination(ctrl, K::Key_I), ID_AUDIO_FADEIN},
        {QKeyCombination(shift, K::Key_I), ID_AUDIO_FADEIN},
        {QKeyCombination(none, K::Key_K), ID_AUDIO_KILL},
        {QKeyCombination(ctrl, K::Key_K), ID_AUDIO_KILL},
        {QKeyCombination(shift, K::Key_K), ID_AUDIO_KILL},
        {QKeyCombination(none, K::Key_Period), ID_AUDIO_VOLUP},
        {QKeyCombination(ctrl, K::Key_Period), ID_AUDIO_VOLUP},
        {QKeyCombination(shift, K::Key_Period), ID_AUDIO_VOLUP},
        {QKeyCombination(none, K::Key_Comma), ID_AUDIO_VOLDOWN},
        {QKeyCombination(ctrl, K::Key_Comma), ID_AUDIO_VOLDOWN},
        {QKeyCombination(shift, K::Key_Comma), ID_AUDIO_VOLDOWN},
        {QKeyCombination(none, K::Key_F), ID_AUDIO_SPEEDUP},
        {QKeyCombination(none, K::Key_S), ID_AUDIO_SLOWDOWN},
        {QKeyCombination(none, K::Key_N), ID_AUDIO_NORMALSPEED},
        {QKeyCombination(none, K::Key_Escape), ID_AUDIO_STOPALL},
        {QKeyCombination(shift, K::Key_Escape), ID_AUDIO_FADEALL},
        {QKeyCombination(ctrl, K::Key_Plus), ID_VIEW_FONT_LARGER},
        {QKeyCombination(ctrl, K::Key_Equal), ID_VIEW_FONT_LARGER},
        {QKeyCombination(ctrl | Qt::KeypadModifier, K::Key_Plus), ID_VIEW_FONT_LARGER},
        {QKeyCombination(ctrl, K::Key_Minus), ID_VIEW_FONT_SMALLER},
        {QKeyCombination(ctrl | Qt::KeypadModifier, K::Key_Minus), ID_VIEW_FONT_SMALLER},
        {QKeyCombination(none, K::Key_A), ID_EDIT_ADDCUE},
        {QKeyCombination(ctrl, K::Key_Z), ID_EDIT_UNDO},
        {QKeyCombination(ctrl, K::Key_Y), ID_EDIT_REDO},
        {QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, K::Key_Z), ID_EDIT_REDO},
        {QKeyCombination(none, K::Key_Delete), ID_EDIT_CLEAR},
        {QKeyCombination(ctrl, K::Key_X), ID_EDIT_CUT},
        {QKeyCombination(ctrl, K::Key_C), ID_EDIT_COPY},
        {QKeyCombination(ctrl, K::Key_Insert), ID_EDIT_COPY},
        {QKeyCombination(ctrl, K::Key_V), ID_EDIT_PASTE},
        {QKeyCombination(shift, K::Key_Insert), ID_EDIT_PASTE},
        {QKeyCombination(ctrl, K::Key_N), ID_FILE_NEW},
        {QKeyCombination(ctrl, K::Key_O), ID_FILE_OPEN},
        {QKeyCombination(ctrl, K::Key_S), ID_FILE_SAVE},
        {QKeyCombination(ctrl, K::Key_P), ID_FILE_PRINT},
        {QKeyCombination(none, K::Key_F1), ID_HELP},
    };
    for (const Accelerator& key : keys) {
        // The keys act whichever widget of the main window has the focus. While a menu is open
        // or a modal dialog is up, the key is theirs instead (a menu's "A" is not Add Cue).
        auto* shortcut = new QShortcut(QKeySequence(key.keys), this);
        shortcut->setContext(Qt::WindowShortcut);
        const int id = key.id;
        const Qt::KeyboardModifiers modifiers = key.keys.keyboardModifiers();
        connect(shortcut, &QShortcut::activated, this,
                [this, id, modifiers] { DispatchCommand(id, modifiers); });
    }
}

void CMainFrame::ConnectView() {
    m_pView->SetStartPositionSource([this] { return GetStartPosition(); });
    connect(m_pView, &CMVView::cueStatus, this, &CMainFrame::OnCueStatus, Qt::DirectConnection);
    connect(m_pView, &CMVView::cueSelectionChanged, this, &CMainFrame::OnSelectionChanged,
            Qt::DirectConnection);
    connect(m_pView, &CMVView::enablePosition, this, &CMainFrame::OnEnablePosition,
            Qt::DirectConnection);
    connect(
        m_pView, &CMVView::playerAboutToBeDeleted, this,
        [this](CCuePlayer* player) {
            if (m_pCurrentPlayer == player) m_pCurrentPlayer = nullptr;
        },
        Qt::DirectConnection);
    connect(m_pView, &CMVView::cueCountChanged, this,
            [this] { m_pCuesPane->setText(m_pView->GetCueCountText()); });
    connect(m_pView, &CMVView::statusNote, this,
            [this](const QString& text) { statusBar()->showMessage(text, kStatusNoteMs); });
    if (m_pView->selectionModel())
        connect(m_pView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &CMainFrame::RequestCommandUIUpdate);
}

bool CMainFrame::IsCommandEnabled(int id) const {
    if (m_pView) {
        if (const std::optional<bool> enabled = m_pView->OnUpdateCommand(id)) return *enabled;
    }
    switch (id) {
        case ID_VIEW_TOOLBAR:
        case ID_VIEW_STATUS_BAR:
        case ID_VIEW_PLAYPOSITION:
        case ID_EDIT_PREFERENCES:
        case ID_FILE_CHECKSHOW:
        case ID_FILE_COLLECT:
        case ID_HELP:
        case ID_HELP_FINDER:
        case ID_DEFAULT_HELP:
        case ID_VIEW_SHOWPANEL:
        case ID_VIEW_DARKTHEME:
        case ID_VIEW_FONT_LARGER:
        case ID_VIEW_FONT_SMALLER:
        case ID_HELP_SHOWLOG:
            return true;
        default:
            break;
    }
    if (m_pCommands) {
        if (const std::optional<bool> enabled = m_pCommands->OnUpdateCommand(id)) return *enabled;
    }
    return false;
}

bool CMainFrame::DispatchCommand(int id, std::optional<Qt::KeyboardModifiers> modifiers,
                                 const CommandSource& source) {
    // Asked at this moment, not from the last update of the menus and toolbar: a disabled
    // command is not carried out, also when it comes from a key.
    if (!IsCommandEnabled(id)) return false;
    bool done = false;
    if (m_pView && m_pView->OnUpdateCommand(id).has_value()) {
        done = m_pView->OnCmdMsg(
            id, modifiers ? *modifiers : QGuiApplication::queryKeyboardModifiers(), source);
    } else if (!DispatchShowCommand(id, &done)) {
        switch (id) {
            case ID_VIEW_TOOLBAR:
                m_pToolBar->setVisible(m_pToolBar->isHidden());
                done = true;
                break;
            case ID_VIEW_STATUS_BAR:
                statusBar()->setVisible(statusBar()->isHidden());
                done = true;
                break;
            case ID_VIEW_PLAYPOSITION:
                m_pPositionBand->setVisible(m_pPositionBand->isHidden());
                done = true;
                break;
            case ID_EDIT_PREFERENCES:
                OnEditPreferences();
                done = true;
                break;
            case ID_FILE_CHECKSHOW:
                OnFileCheckShow();
                done = true;
                break;
            case ID_FILE_COLLECT:
                OnFileCollect();
                done = true;
                break;
            case ID_HELP:
            case ID_HELP_FINDER:
            case ID_DEFAULT_HELP:
                OnHelp();
                done = true;
                break;
            case ID_FILE_NEW:
            case ID_FILE_OPEN:
            case ID_FILE_MRU_FILE1:
            case ID_FILE_MRU_FILE2:
            case ID_FILE_MRU_FILE3:
            case ID_FILE_MRU_FILE4:
                // Another cue list must not cut off the show by surprise.
                if (m_pCommands && ConfirmStopPlaying()) done = m_pCommands->OnCmdMsg(id);
                break;
            default:
                if (m_pCommands) done = m_pCommands->OnCmdMsg(id);
                break;
        }
    }
    RequestCommandUIUpdate();
    return done;
}

void CMainFrame::RequestCommandUIUpdate() {
    if (m_bUpdatePending) return;
    m_bUpdatePending = true;
    QTimer::singleShot(0, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::UpdateCommandUI() {
    m_bUpdatePending = false;
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        it.value()->setEnabled(IsCommandEnabled(it.key()));
    }
    GetAction(ID_VIEW_TOOLBAR)->setChecked(!m_pToolBar->isHidden());
    GetAction(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
    GetAction(ID_VIEW_PLAYPOSITION)->setChecked(!m_pPositionBand->isHidden());
    if (m_pShowDock) GetAction(ID_VIEW_SHOWPANEL)->setChecked(!m_pShowDock->isHidden());
    GetAction(ID_VIEW_DARKTHEME)->setChecked(m_bDarkTheme);
    if (m_pCuesPane && m_pView) m_pCuesPane->setText(m_pView->GetCueCountText());
}

CHelpWindow* CMainFrame::GetHelpWindow() const { return m_pHelpWindow; }

void CMainFrame::OnHelp() {
    // The operator pressed F1 for a reason: when the pages are missing, say so rather than
    // doing nothing.
    const QString page = mvhelp::FindHelpIndex();
    if (page.isEmpty()) {
        mvui::ShowMessage(this, tr("The help pages of Marvane are not installed."),
                          QMessageBox::Warning);
        return;
    }
    // The program's own help window: no web browser is needed.
    if (!m_pHelpWindow) m_pHelpWindow = new CHelpWindow(page, this);
    m_pHelpWindow->ShowPage();
    m_pHelpWindow->show();
    m_pHelpWindow->raise();
    m_pHelpWindow->activateWindow();
}

// ---- Preferences ----------------------------------------------------------------------------

CPreferencesDlg* CMainFrame::CreatePreferencesDialog() {
    auto* dialog = new CPreferencesDlg(*m_pPrefs, this);
    {
        QStringList devices;
        QHash<QString, int> outputs;
        for (int i = 0; i < theSoundOutput.GetDeviceCount(); ++i) {
            const OutputDevice* device = theSoundOutput.GetDeviceAt(i);
            devices << QString::fromStdString(device->GetDescription());
            outputs.insert(devices.back(), static_cast<int>(device->GetOutputCount()));
        }
        dialog->AddPage(new CAudioPrefsPage(devices, outputs, dialog));
    }
    dialog->AddPage(new CShowPrefsPage(dialog));
    dialog->AddPage(new COscPrefsPage(dialog));
    dialog->AddPage(new CMidiPrefsPage(m_pRemote ? m_pRemote->GetMidi() : nullptr, dialog));
    dialog->AddPage(new CBackupPrefsPage(dialog));
    dialog->AddPage(new CDisplayPrefsPage(dialog));
    connect(dialog, &CPreferencesDlg::applied, this, &CMainFrame::ApplyPreferences);
    return dialog;
}

void CMainFrame::OnEditPreferences() {
    std::unique_ptr<CPreferencesDlg> dialog(CreatePreferencesDialog());
    dialog->exec();
}

void CMainFrame::ApplyPreferences() {
    QString remoteError;
    if (m_pRemote && !m_pRemote->ApplyPreferences(&remoteError)) {
        // Told once the window is up, never from inside the constructor.
        QTimer::singleShot(0, this, [this, remoteError] {
            mvui::ShowMessage(this, remoteError, QMessageBox::Warning);
        });
    }
    ApplyShowPreferences();
    emit preferencesApplied();
}

// ---- Status panes and position bar ---------------------------------------------------------

QString CMainFrame::FormatTimeToGo(uint32_t remainingMs) {
    const uint32_t s = remainingMs / 1000;
    return QString::asprintf("TTG:%02u.%02u", s / 60, s % 60);
}

int CMainFrame::PositionOf(uint32_t elapsedMs, uint32_t totalMs, int maximum) {
    if (totalMs == 0 || maximum <= 0) return 0;
    // 64-bit, so that cues of many hours do not wrap around.
    const uint64_t position = uint64_t(maximum) * elapsedMs / totalMs;
    return static_cast<int>(std::min<uint64_t>(position, uint64_t(maximum)));
}

void CMainFrame::SetPane0(const QString& text) { m_pPromptPane->setText(text); }

void CMainFrame::SetTimeToGo(const QString& text, bool enabled) {
    if (!text.isNull()) m_strTimeToGo = text;
    m_bTimeToGoEnabled = enabled;
    m_pTimeToGoPane->setText(enabled ? m_strTimeToGo : QString());
}

QString CMainFrame::GetPaneText(int pane) const {
    switch (pane) {
        case 0:
            return m_pPromptPane->text();
        case 1:
            return m_pTimeToGoPane->text();
        case 2:
            return m_pCuesPane->text();
        default:
            return QString();
    }
}

void CMainFrame::OnCueStatus(CCuePlayer* player) {
    if (player) {
        if (!m_bTracking) {
            const uint32_t total = player->GetDurationMs();
            const uint32_t elapsed = player->GetElapsedMs();
            const uint32_t remaining = player->GetRemainingMs();
            const CQRecord* cue = player->GetCue();
            if (!IsNoticeShowing())
                SetPane0(QStringLiteral("Playing: ") +
                         (cue ? ToDisplayText(cue->m_strDescription) : QString()));
            SetTimeToGo(FormatTimeToGo(remaining), true);
            m_pPositionSlider->setValue(PositionOf(elapsed, total, m_pPositionSlider->maximum()));
        }
    } else {
        if (!IsNoticeShowing()) SetPane0(QString::fromLatin1(kIdleMessage));
        SetTimeToGo(QString(), false);
        m_pPositionSlider->setValue(0);
    }
    m_pCurrentPlayer = player;
}

int CMainFrame::GetStartPosition() const { return m_pPositionSlider->value(); }

void CMainFrame::OnSelectionChanged(int position) { m_pPositionSlider->setValue(position); }

void CMainFrame::OnEnablePosition(bool enable) {
    if (m_pPositionSlider->isEnabled() != enable) m_pPositionSlider->setEnabled(enable);
}

void CMainFrame::OnHScroll(int code, int, QSlider* slider) {
    if (slider != m_pPositionSlider) return;
    if (code == CPositionBar::kEndScroll) {
        if (m_pCurrentPlayer)
            m_pCurrentPlayer->SeekToPercent(static_cast<unsigned>(m_pPositionSlider->value()));
        m_bTracking = false;
    } else {
        m_bTracking = true;
        // Where the cue would go, before the thumb is let go.
        if (m_pCurrentPlayer) {
            const uint64_t total = m_pCurrentPlayer->GetDurationMs();
            const int maximum = std::max(1, m_pPositionSlider->maximum());
            const auto target = static_cast<uint32_t>(
                total * static_cast<uint64_t>(m_pPositionSlider->value()) / maximum);
            SetPane0(tr("Go to %1 of %2")
                         .arg(CShowPanel::FormatClock(target),
                              CShowPanel::FormatClock(static_cast<uint32_t>(total))));
        }
    }
}

// ---- Window rectangle and title ------------------------------------------------------------

void CMainFrame::SaveWindowRect() const {
    // The frame's top-left corner with the size of the window's own area, so that restoring it
    // places and sizes the window exactly as it was, with or without a window manager's frame.
    const QRect normal = isMinimized() || isMaximized() ? normalGeometry() : geometry();
    const QPoint topLeft =
        isMinimized() || isMaximized() ? normal.topLeft() : frameGeometry().topLeft();
    const QString section = QString::fromLatin1(kSettingsSection);
    mvapp::WriteProfileInt(section, QStringLiteral("Left"), topLeft.x());
    mvapp::WriteProfileInt(section, QStringLiteral("Top"), topLeft.y());
    mvapp::WriteProfileInt(section, QStringLiteral("Right"), topLeft.x() + normal.width());
    mvapp::WriteProfileInt(section, QStringLiteral("Bottom"), topLeft.y() + normal.height());
}

bool CMainFrame::RestoreWindowRect() {
    const QString section = QString::fromLatin1(kSettingsSection);
    const int left = mvapp::GetProfileInt(section, QStringLiteral("Left"), -1);
    const int right = mvapp::GetProfileInt(section, QStringLiteral("Right"), -1);
    const int top = mvapp::GetProfileInt(section, QStringLiteral("Top"), -1);
    const int bottom = mvapp::GetProfileInt(section, QStringLiteral("Bottom"), -1);
    if (left == right || top == bottom) return false;
    // In 64 bits: the stored numbers may be anything, and their difference overflow an int.
    const int64_t width = static_cast<int64_t>(right) - left;
    const int64_t height = static_cast<int64_t>(bottom) - top;
    if (width <= 0 || height <= 0) return false;  // an inverted rectangle is no rectangle
    // A window larger than all the screens together is no size a window had here: it would
    // only ask the window system for a huge surface.
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens()) desktop |= screen->geometry();
    if (width > desktop.width() || height > desktop.height()) return false;
    // A window placed where no screen shows it (a screen since unplugged, the far-away place of
    // a minimised window) would be lost in front of an audience: the default place stands.
    const QRect wanted(left, top, static_cast<int>(width), static_cast<int>(height));
    bool visible = false;
    for (const QScreen* screen : QGuiApplication::screens())
        visible = visible || screen->availableGeometry().intersects(wanted);
    if (!visible) return false;
    move(left, top);
    resize(width, height);
    return true;
}

void CMainFrame::UpdateTitle() {
    // Unsaved changes show as an asterisk after the file name, as desktop programs do.
    setWindowTitle(m_pDoc->GetTitle() + (m_pDoc->IsModified() ? QStringLiteral("*") : QString()) +
                   QStringLiteral(" - ") + QString::fromLatin1(kWindowTitle));
}

void CMainFrame::UpdateUndoTexts() {
    const QUndoStack* history = m_pView->GetUndoStack();
    const auto name = [](const QString& verb, const QString& edit, const char* key) {
        return (edit.isEmpty() ? verb : verb + QLatin1Char(' ') + edit) + QLatin1Char('\t') +
               QLatin1String(key);
    };
    GetAction(ID_EDIT_UNDO)->setText(name(tr("&Undo"), history->undoText(), "Ctrl+Z"));
    GetAction(ID_EDIT_REDO)->setText(name(tr("&Redo"), history->redoText(), "Ctrl+Y"));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!ConfirmStopPlaying()) {
        event->ignore();
        return;
    }
    if (m_pCommands && !m_pCommands->CanCloseFrame()) {
        event->ignore();
        return;
    }
    if (CSplashWnd* splash = CSplashWnd::GetCurrent()) splash->HideSplash();
    SaveWindowRect();
    m_bRectSaved = true;
    event->accept();
}
