#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "view/CommandSource.h"

class CCuePlayer;
class CShowPanel;
class GoLog;
class WaveformCache;
class QDockWidget;
class QToolButton;
struct ShowAction;
class CCheckShowDlg;
class CHelpWindow;
class CMVDoc;
class CPreferencesDlg;
class CRemoteControl;
class Preferences;
class CMVView;
class CPositionBar;
class ICommandTarget;
class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolBar;

// The program's main window: menus, the toolbar and the play position bar at the top, the cue
// list view in the middle and a status bar with three panes (prompts and "Playing: ...", the
// time to go of the current cue, the number of cues). It routes every command, from the menus,
// the toolbar and the keys, first to the view and then to the application (ICommandTarget),
// asking first whether the command is enabled: a disabled command is not carried out, also when
// it comes from a key. It saves its window rectangle in "MainFrame" when it goes away and
// restores it when it is created. UI thread only.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // The window title after the document's title.
    static constexpr const char* kWindowTitle = "Marvane";
    static constexpr const char* kIdleMessage = "For Help, press F1";
    // How long a note from the view (such as why a cue did not start) stays in the status bar.
    static constexpr int kStatusNoteMs = 10000;
    static constexpr const char* kSettingsSection = "MainFrame";

    // Creates the frame and, inside it, the view of `doc`. `commands` handles what neither the
    // frame nor the view handles (files, About, Exit); it may be null and must outlive the frame.
    CMainFrame(CMVDoc* doc, ICommandTarget* commands, QWidget* parent = nullptr);
    // Saves the window rectangle, then destroys the view (and with it every player).
    ~CMainFrame() override;

    CMVView* GetView() const { return m_pView; }
    CPositionBar* GetPositionBar() const { return m_pPositionBar; }
    QSlider* GetPositionSlider() const { return m_pPositionSlider; }
    QToolBar* GetToolBar() const { return m_pToolBar; }
    QToolBar* GetPositionBand() const { return m_pPositionBand; }
    // The menu or toolbar action of a command, or null.
    QAction* GetAction(int id) const { return m_actions.value(id); }

    // Carries out command `id` when it is enabled. `modifiers` are the Shift and Ctrl keys of
    // the key that gave the command (the live commands act on other players with them); without
    // them the keys held at this moment count. Returns whether the command was carried out.
    // `source` says who gave it (a key unless said otherwise).
    bool DispatchCommand(int id, std::optional<Qt::KeyboardModifiers> modifiers = std::nullopt,
                         const CommandSource& source = CommandSource::FromKey());
    // Whether command `id` is enabled now (no handler: disabled).
    bool IsCommandEnabled(int id) const;
    // Brings the enabled and checked states of every menu item and toolbar button up to date.
    void UpdateCommandUI();

    // The text each status pane shows now (0: prompt or "Playing: ...", 1: time to go or blank
    // when disabled, 2: "Cues:%03d").
    QString GetPaneText(int pane) const;
    bool IsTimeToGoEnabled() const { return m_bTimeToGoEnabled; }

    // Status of the current player (or none), as the view reports it after every status
    // message of a player and every 20 ms while cues play.
    void OnCueStatus(CCuePlayer* player);
    // The play position bar's position, 0..100: where the next Go starts when nothing plays.
    int GetStartPosition() const;
    // The selection moved while nothing plays: the position bar goes to `position`.
    void OnSelectionChanged(int position);
    // Enables the position bar exactly when Go is enabled.
    void OnEnablePosition(bool enable);
    // One notification of the operator's interaction with the position bar (codes of
    // CPositionBar). Only the end of the interaction seeks the current player.
    void OnHScroll(int code, int position, QSlider* slider);

    CCuePlayer* GetCurrentPlayer() const { return m_pCurrentPlayer; }
    bool IsTracking() const { return m_bTracking; }

    // "TTG:%02d.%02d" of a remaining time: whole seconds, minutes not limited to two digits.
    static QString FormatTimeToGo(uint32_t remainingMs);
    // The thumb position of a player that has played `elapsedMs` of `totalMs`, on a bar of
    // 0..maximum; 0 for a player of no length.
    static int PositionOf(uint32_t elapsedMs, uint32_t totalMs, int maximum);

    // Writes the window rectangle to "MainFrame" ("Left", "Top", "Right", "Bottom").
    void SaveWindowRect() const;
    // Reads it back; applies it when it has a width and a height and a screen shows some of it.
    // Returns whether it applied.
    bool RestoreWindowRect();

    // Sets the caption from the document: its title (with "*" while it has unsaved changes),
    // " - ", "Marvane".
    void UpdateTitle();
    // Names the edit that Edit > Undo and Redo would take back or carry out again.
    void UpdateUndoTexts();

    // The help window, once a Help command has opened it.
    CHelpWindow* GetHelpWindow() const;

    // The operator's preferences as stored now.
    Preferences& GetPreferences() const { return *m_pPrefs; }
    // Edit > Preferences...: the dialog with every page; its OK and Apply take effect at once.
    void OnEditPreferences();
    // Builds the Preferences dialog with every page (not shown).
    CPreferencesDlg* CreatePreferencesDialog();
    // Hands the stored preferences to the parts of the window that use them. Called when the
    // frame is made and whenever the Preferences dialog stores new values.
    void ApplyPreferences();
    // File > Check Show...: the show check's report in a dialog that may stay open.
    void OnFileCheckShow();
    CCheckShowDlg* GetCheckShowDialog() const { return m_pCheckShowDlg; }
    // File > Collect Show Folder...: the list and its sound files copied into a chosen folder.
    void OnFileCollect();
    // Tests stand in for the folder chooser of Collect (empty result: cancelled).
    static void SetCollectFolderChooserForTesting(std::function<QString(QWidget*)> chooser);
    // Remote show control (OSC, MIDI, backup machines).
    CRemoteControl* GetRemoteControl() const { return m_pRemote; }

    // ---- The operator's show (CMainFrameShow.cpp) ----

    CShowPanel* GetShowPanel() const { return m_pShowPanel; }
    QDockWidget* GetShowDock() const { return m_pShowDock; }
    GoLog* GetGoLog() const { return m_pGoLog.get(); }
    WaveformCache* GetWaveformCache() const { return m_pWaveforms; }
    // Shows the waveform of the current cue, or of the highlighted one while nothing plays,
    // behind the position bar's thumb (asking the cache for it when it is not known yet).
    void UpdateOverview();
    // Writes the Go log into `folder` instead of the user's data folder (tests).
    void SetGoLogFolder(const QString& folder);
    // A failure to start a cue while others sound: a red line in the show panel and the status
    // bar, kept until the operator dismisses it.
    void ShowFailure(const QString& text);
    void DismissFailure();
    QString GetFailureText() const;
    // A short notice in the status bar's first pane, kept there for a few seconds.
    void ShowNotice(const QString& text);
    // While cues sound: asks "Cues are playing. Stop them and close?" (default No) and stops
    // them on Yes. True when nothing sounds or the operator said Yes.
    bool ConfirmStopPlaying();
    // Applies the dark or the light palette to the whole program.
    void ApplyTheme(bool dark);
    bool IsDarkTheme() const { return m_bDarkTheme; }
    // The cue list's font size in points (0: the desktop's).
    void SetListFontPoints(int points);
    int GetListFontPoints() const;

signals:
    // The stored preferences changed (after ApplyPreferences): parts outside the window read
    // them again.
    void preferencesApplied();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    void CreateAccelerators();
    void ConnectView();
    QAction* AddAction(int id, const QString& menuText, const QString& prompt,
                       const QString& icon = QString());
    void RebuildRecentFileMenu();
    void OnHelp();
    void SetPane0(const QString& text);
    void SetTimeToGo(const QString& text, bool enabled);
    void RequestCommandUIUpdate();
    void CreateShowParts();
    void ApplyShowPreferences();
    void OnShowAction(const ShowAction& action);
    void UpdateGoLogShowName();
    // Carries out the show's own commands (Fade All, panel, theme, font, log); false for others.
    bool DispatchShowCommand(int id, bool* done);
    void ChangeListFont(int delta);
    bool IsNoticeShowing() const;

    CMVDoc* m_pDoc = nullptr;
    CCheckShowDlg* m_pCheckShowDlg = nullptr;
    ICommandTarget* m_pCommands = nullptr;
    std::unique_ptr<Preferences> m_pPrefs;
    CMVView* m_pView = nullptr;
    CRemoteControl* m_pRemote = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QToolBar* m_pPositionBand = nullptr;
    CPositionBar* m_pPositionBar = nullptr;
    QSlider* m_pPositionSlider = nullptr;
    QLabel* m_pPromptPane = nullptr;
    QLabel* m_pTimeToGoPane = nullptr;
    QLabel* m_pCuesPane = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QAction* m_pRecentPlaceholder = nullptr;
    QHash<int, QAction*> m_actions;
    QPointer<CHelpWindow> m_pHelpWindow;  // made at the first Help command
    QString m_strTimeToGo;
    bool m_bTimeToGoEnabled = false;

    CCuePlayer* m_pCurrentPlayer = nullptr;  // not owned: the view reports it before deleting it
    bool m_bTracking = false;
    bool m_bRectSaved = false;

    QTimer m_updateTimer;  // keeps the toolbar's enabled states current
    bool m_bUpdatePending = false;
    // Set while a toolbar button is pressed: the action it triggers came from a button, not
    // from the menu.
    bool m_bToolButtonDown = false;

    // The operator's show.
    CShowPanel* m_pShowPanel = nullptr;
    QDockWidget* m_pShowDock = nullptr;
    QToolButton* m_pFailurePane = nullptr;
    std::unique_ptr<GoLog> m_pGoLog;
    WaveformCache* m_pWaveforms = nullptr;
    QString m_strNotice;
    QElapsedTimer m_noticeTimer;
    bool m_bDarkTheme = false;
};
