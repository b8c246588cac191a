#pragma once

#include <QObject>
#include <QString>

#include "remote/RemoteShow.h"

class CMainFrame;
class BackupLink;
class MidiController;
class OscController;
class QLabel;

// Remote show control of the main window: OSC, MIDI and the machines that follow this one, wired
// to the frame's one command path. It reads its preferences when the frame applies them.
// Remote commands are refused while the operator has a dialog open, as the keys are.
// UI thread.
class CRemoteControl : public QObject, public IRemoteShow {
    Q_OBJECT

public:
    explicit CRemoteControl(CMainFrame* frame);
    ~CRemoteControl() override;

    // Reads the preferences and starts, restarts or stops the inputs. A failure (port in use)
    // is reported in `error` and through the frame's status bar.
    bool ApplyPreferences(QString* error);

    OscController* GetOsc() const { return m_pOsc; }
    BackupLink* GetBackup() const { return m_pBackup; }
    MidiController* GetMidi() const { return m_pMidi; }
    // The status bar pane that says whether the backup machines answer (hidden without any).
    QLabel* GetBackupPane() const { return m_pBackupPane; }

    RemoteResult Perform(const RemoteRequest& request, const CommandSource& source) override;
    ShowStatus GetStatus() const override;

private:
    CMainFrame* m_pFrame;
    OscController* m_pOsc = nullptr;
    BackupLink* m_pBackup = nullptr;
    MidiController* m_pMidi = nullptr;
    QLabel* m_pBackupPane = nullptr;
};
