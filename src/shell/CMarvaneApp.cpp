#include "shell/CMarvaneApp.h"
#include "shell/Preferences.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include "cuelist/CMVDoc.h"
#include "engine/CSoundOutput.h"
#include "shell/AppSettings.h"
#include "shell/CAboutDlg.h"
#include "shell/CMainFrame.h"
#include "shell/CRecoveryStore.h"
#include "shell/CSplashWnd.h"
#include "shell/CommandLinePrint.h"
#include "shell/DesktopIntegration.h"
#include "shell/ShellResources.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"

CMarvaneApp::CMarvaneApp()
    : m_pDoc(std::make_unique<CMVDoc>()), m_docManager(m_pDoc.get(), &m_recentFiles) {
    InitShellResources();
    m_initializeAudio = [] {
        // The Audio page's choices (MARVANE_AUDIO, when set, overrides them).
        Preferences prefs;
        const QList<Preferences::AudioDevice> choice = prefs.GetAudioDeviceChoice();
        std::vector<CSoundOutput::ChosenDevice> devices;
        for (const Preferences::AudioDevice& device : choice) {
            devices.push_back({device.name.toStdString(), static_cast<uint32_t>(device.outputs)});
        }
        theSoundOutput.SetPreferredAudio(prefs.GetAudioBackend().toStdString(), std::move(devices));
        if (!theSoundOutput.Initialize()) return false;
        // The outputs of the chosen devices found are kept, so that one missing at a later
        // start keeps the right number of channels.
        QList<Preferences::AudioDevice> seen;
        for (const CSoundOutput::ChosenDevice& device : theSoundOutput.GetChosenDevices()) {
            seen.append({QString::fromStdString(device.name), static_cast<int>(device.outputs)});
        }
        if (!choice.isEmpty() && seen.size() == choice.size() && seen != choice) {
            prefs.SetAudioDeviceChoice(seen);
        }
        // Devices plugged in later are looked for off the UI thread (CDeviceWatch adds them).
        theSoundOutput.StartRescan();
        return true;
    };
}

CMarvaneApp::~CMarvaneApp() {
    if (!m_bExited) ExitInstance(m_nExitCode);
}

void CMarvaneApp::SetAudioInitializerForTesting(std::function<bool()> initialize) {
    m_initializeAudio = std::move(initialize);
}

bool CMarvaneApp::InitInstance(const QStringList& args) {
    // Settings live under "Veldmark Software" / "MARVANE". No display name is set: the desktop
    // would append it to every caption that does not end with it ("MARVANE - Marvane").
    QCoreApplication::setOrganizationName(QString::fromLatin1(mvapp::kOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(mvapp::kApplication));
    m_recentFiles.ReadList();

    m_cmdInfo = CommandLineInfo::Parse(args);
    if (m_bRegisterDesktop && m_cmdInfo.m_nShellCommand != CommandLineInfo::AppUnregister)
        mvdesktop::RegisterFileType(QCoreApplication::applicationFilePath());

    CSplashWnd::EnableSplash(m_cmdInfo.m_bShowSplash);
    qApp->installEventFilter(this);
#if QT_CONFIG(sessionmanager)
    // The desktop session ending (logging out, shutting down) would end the program without
    // closing its window: unsaved changes are offered for saving first, and a refusal (Cancel,
    // a failed save, no chance to ask) asks the session not to end.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
            if (m_pDoc && m_pDoc->IsModified() &&
                (!manager.allowsInteraction() || !m_docManager.SaveModified()))
                manager.cancel();
            manager.release();
        });
    }
#endif

    if (!ProcessShellCommand()) return false;

    m_pMainFrame->show();
    m_pMainFrame->activateWindow();
    m_pMainFrame->repaint();

    // Every output device is opened now that the main window exists.
    if (!m_initializeAudio()) {
        // The message keeps its first line; the second says why and what to try.
        QString text = QString::fromLatin1(kAudioFailed);
        if (!theSoundOutput.GetFailureHint().isEmpty()) {
            text += QLatin1Char('\n') + theSoundOutput.GetFailureHint();
        }
        mvui::ShowMessage(m_pMainFrame, text, QMessageBox::Critical, QMessageBox::Ok);
        m_nExitCode = 1;
        return false;
    }

    CSplashWnd::ShowSplash(m_pMainFrame);
    // Landscape becomes the default orientation of print jobs when there is a default printer.
    m_printerDefaults.Initialize();
    return true;
}

bool CMarvaneApp::ProcessShellCommand() {
    switch (m_cmdInfo.m_nShellCommand) {
        case CommandLineInfo::AppUnregister: {
            const bool removed = Unregister();
            if (!m_cmdInfo.m_bRunEmbedded) {
                mvui::ShowMessage(
                    nullptr, QString::fromLatin1(removed ? kUnregisterDone : kUnregisterFailed),
                    removed ? QMessageBox::Information : QMessageBox::Warning);
            }
            // Nothing is written back on the way out.
            m_bSaveSettings = false;
            m_nExitCode = removed ? 0 : 1;
            return false;
        }
        case CommandLineInfo::FilePrint:
        case CommandLineInfo::FilePrintTo:
            // Printed without a main window; the audio output is never opened.
            m_nExitCode = PrintFromCommandLine(m_cmdInfo);
            return false;
        default:
            break;
    }

    m_pDoc->OnNewDocument();
    m_pMainFrame = new CMainFrame(m_pDoc.get(), this);
    m_docManager.SetParentWindow(m_pMainFrame);
    m_pMainFrame->GetView()->SetPrinterDefaults(&m_printerDefaults);
    m_pMainFrame->GetView()->OnInitialUpdate();

    // Work left by a copy of the program that ended without saving comes first.
    if (m_strRecoveryFolder.isEmpty()) m_strRecoveryFolder = CRecoveryStore::DefaultFolder();
    m_pAutoSaver = std::make_unique<CAutoSaver>(
        m_pDoc.get(), m_pMainFrame->GetView()->GetUndoStack(), m_strRecoveryFolder);
    connect(m_pAutoSaver.get(), &CAutoSaver::written, this, [this](bool ok, const QString& text) {
        // Said where the operator looks, without stopping the show with a box.
        if (!ok && m_pMainFrame) m_pMainFrame->statusBar()->showMessage(text, 15000);
    });
    OfferRecovery();

    if (m_cmdInfo.m_nShellCommand == CommandLineInfo::FileOpen) {
        if (!m_docManager.OpenDocumentFile(m_cmdInfo.m_strFileName)) {
            m_nExitCode = 1;
            return false;
        }
    }
    m_pMainFrame->UpdateTitle();
    return true;
}

int CMarvaneApp::ExitInstance(int exitCode) {
    if (m_bExited) return m_nExitCode ? m_nExitCode : exitCode;
    m_bExited = true;
    qApp->removeEventFilter(this);
    if (CSplashWnd* splash = CSplashWnd::GetCurrent()) splash->HideSplash();
    // The recovery copy goes once nothing is left unsaved or the operator chose not to save;
    // a program ending for any other reason with changes unsaved keeps it for the next start.
    if (m_pAutoSaver && (m_bCloseConfirmed || (m_pDoc && !m_pDoc->IsModified())))
        m_pAutoSaver->DiscardCopy();
    m_pAutoSaver.reset();
    // The window first: its rectangle is saved and the view stops and deletes every player.
    if (m_pMainFrame) {
        delete m_pMainFrame.data();
    }
    // Then the records, which no player uses any more.
    m_pDoc.reset();
    if (m_bSaveSettings) m_recentFiles.WriteList();
    theSoundOutput.ReleaseDevices();
    return m_nExitCode ? m_nExitCode : exitCode;
}

void CMarvaneApp::OfferRecovery() {
    const CRecoveryStore store(m_strRecoveryFolder);
    for (const RecoveryCopy& copy : store.FindOrphans()) {
        const QString when = QLocale::system().toString(copy.time, QLocale::ShortFormat);
        const QString text = QString::fromLatin1(kRecoveryOffer).arg(copy.title, when);
        switch (AskAboutRecovery(text)) {
            case RecoveryChoice::Later:
                continue;
            case RecoveryChoice::Discard:
                CRecoveryStore::Remove(copy);
                continue;
            case RecoveryChoice::Recover:
                break;
        }
        QString error;
        if (!m_pDoc->OpenRecoveryCopy(copy.listPath, copy.originalPath, &error)) {
            // Never deleted: the operator may still get something out of it.
            const QString kept = CRecoveryStore::SetAside(copy);
            mvui::ShowMessage(m_pMainFrame,
                              tr("The recovery copy of %1 from %2 could not be read: %3\n"
                                 "It has been kept as %4.")
                                  .arg(copy.title, when, error, kept),
                              QMessageBox::Warning);
            continue;
        }
        m_pAutoSaver->Adopt(copy);
        if (m_pMainFrame) m_pMainFrame->UpdateTitle();
        return;  // one list at a time: the others are offered at the next start
    }
}

CMarvaneApp::RecoveryChoice CMarvaneApp::AskAboutRecovery(const QString& text) {
    if (m_recoveryChooser) return m_recoveryChooser(text);
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(mvui::kAppTitle), text,
                    QMessageBox::NoButton, m_pMainFrame);
    QPushButton* recover = box.addButton(tr("Recover"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(tr("Later"), QMessageBox::RejectRole);
    box.setDefaultButton(recover);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == recover) return RecoveryChoice::Recover;
    if (box.clickedButton() == discard) return RecoveryChoice::Discard;
    return RecoveryChoice::Later;
}

bool CMarvaneApp::eventFilter(QObject* watched, QEvent* event) {
    if (CSplashWnd::FilterInputEvent(watched, event)) return true;
    return QObject::eventFilter(watched, event);
}

bool CMarvaneApp::Unregister() {
    const bool settingsRemoved = mvapp::RemoveSettings();
    const bool desktopRemoved = mvdesktop::UnregisterFileType();
    return settingsRemoved && desktopRemoved;
}

void CMarvaneApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainFrame);
    dialog.exec();
}

void CMarvaneApp::OnFilePrintSetup() { m_printerDefaults.RunPrintSetup(m_pMainFrame); }

bool CMarvaneApp::OnCmdMsg(int id) {
    switch (id) {
        case ID_APP_ABOUT:
            OnAppAbout();
            return true;
        case ID_APP_EXIT:
            if (m_pMainFrame) m_pMainFrame->close();
            return true;
        case ID_FILE_PRINT_SETUP:
            OnFilePrintSetup();
            return true;
        default:
            return m_docManager.OnCmdMsg(id);
    }
}

std::optional<bool> CMarvaneApp::OnUpdateCommand(int id) const {
    switch (id) {
        case ID_APP_ABOUT:
        case ID_APP_EXIT:
        case ID_FILE_PRINT_SETUP:
            return true;
        default:
            return m_docManager.OnUpdateCommand(id);
    }
}
