#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

#include "shell/CAutoSaver.h"
#include "shell/CDocManager.h"
#include "shell/CRecentFileList.h"
#include "shell/CommandLineInfo.h"
#include "shell/ICommandTarget.h"
#include "view/PrinterDefaults.h"

#include "shell/CMainFrame.h"

// The application: start-up, the commands of the application itself (About, Exit, and through
// its document manager New, Open, Save, Save As and the recent files) and the orderly end.
//
// Start-up (InitInstance), in this order: the settings store and the recent-file list; the
// desktop integration of cue list files; the command line; the document, the main frame and its
// view, carrying out the command line; the main window shown; the audio output opened (after the
// window, so that a failure is shown over it); the splash.
// The end (ExitInstance): the main window goes (its rectangle is saved, the view stops every
// player), then the document destroys its records, the recent-file list is written and the audio
// devices are released. UI thread only; the QApplication must exist.
class CMarvaneApp : public QObject, public ICommandTarget {
    Q_OBJECT

public:
    static constexpr const char* kAudioFailed = "Failed to initialize DirectX Audio";
    static constexpr const char* kUnregisterDone =
        "System registry entries have been removed and the INI file (if any) was deleted.";
    static constexpr const char* kUnregisterFailed =
        "Not all of the system registry entries (or INI file) were removed.";

    CMarvaneApp();
    ~CMarvaneApp() override;

    // Replaces the opening of the audio output (tests); returns whether a channel opened.
    void SetAudioInitializerForTesting(std::function<bool()> initialize);
    // Whether InitInstance may write the desktop integration (off in tests).
    void SetRegisterDesktopIntegration(bool enable) { m_bRegisterDesktop = enable; }

    // Starts the program with the arguments after the program name. False: end at once (the
    // exit code is then GetExitCode()).
    bool InitInstance(const QStringList& args);
    // Ends the program in order; returns `exitCode`, or the code a start-up failure set.
    int ExitInstance(int exitCode = 0);
    int GetExitCode() const { return m_nExitCode; }

    CMVDoc* GetDocument() const { return m_pDoc.get(); }
    CMainFrame* GetMainFrame() const { return m_pMainFrame; }
    CDocManager* GetDocManager() { return &m_docManager; }
    CRecentFileList* GetRecentFileList() { return &m_recentFiles; }
    const CommandLineInfo& GetCommandLineInfo() const { return m_cmdInfo; }

    // ICommandTarget: About, Exit, Print Setup and the document commands.
    bool OnCmdMsg(int id) override;
    std::optional<bool> OnUpdateCommand(int id) const override;
    bool CanCloseFrame() override {
        m_bCloseConfirmed = m_docManager.CanCloseFrame();
        return m_bCloseConfirmed;
    }
    QString GetRecentFileMenuText(int index) const override {
        return m_recentFiles.GetMenuText(index);
    }

    // The operator's answer to the offer of a recovery copy.
    enum class RecoveryChoice { Recover, Discard, Later };
    static constexpr const char* kRecoveryOffer =
        "Marvane closed unexpectedly. Unsaved changes to %1 from %2 can be recovered.";
    // Stands in for the question (tests): given its text, returns the answer.
    void SetRecoveryChooserForTesting(std::function<RecoveryChoice(const QString&)> chooser) {
        m_recoveryChooser = std::move(chooser);
    }
    // Where recovery copies go (tests give each case its own folder); set before InitInstance.
    void SetRecoveryFolder(const QString& folder) { m_strRecoveryFolder = folder; }
    CAutoSaver* GetAutoSaver() const { return m_pAutoSaver.get(); }

    // Removes the program's settings and its desktop integration; returns whether all of it went.
    static bool Unregister();

protected:
    // Offers every event to the splash first (a press while it shows only removes it).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ProcessShellCommand();
    // Offers the recovery copies of programs that ended without saving, oldest first, until
    // one is recovered or each is dealt with.
    void OfferRecovery();
    RecoveryChoice AskAboutRecovery(const QString& text);
    void OnAppAbout();
    void OnFilePrintSetup();

    CommandLineInfo m_cmdInfo;
    // The printer settings print jobs start from (Print Setup changes them).
    PrinterDefaults m_printerDefaults;
    CRecentFileList m_recentFiles;
    std::unique_ptr<CMVDoc> m_pDoc;
    CDocManager m_docManager;
    QPointer<CMainFrame> m_pMainFrame;
    std::function<bool()> m_initializeAudio;
    std::function<RecoveryChoice(const QString&)> m_recoveryChooser;
    QString m_strRecoveryFolder;
    std::unique_ptr<CAutoSaver> m_pAutoSaver;
    bool m_bRegisterDesktop = true;
    bool m_bSaveSettings = true;
    bool m_bExited = false;
    bool m_bCloseConfirmed = false;  // the operator was asked about unsaved changes and agreed
    int m_nExitCode = 0;
};
