#include "shell/CRemoteControl.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "platform/text/AnsiText.h"
#include "remote/BackupLink.h"
#include "remote/MidiController.h"
#include "remote/OscController.h"
#include "shell/CMainFrame.h"
#include "shell/Preferences.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"

CRemoteControl::CRemoteControl(CMainFrame* frame)
    : QObject(frame),
      m_pFrame(frame),
      m_pOsc(new OscController(*this, this)),
      m_pBackup(new BackupLink(this)),
      m_pMidi(new MidiController(*this, this)) {
    // Every action of the operator here goes to the backup machines the moment it is done.
    if (CMVView* view = frame->GetView())
        connect(view, &CMVView::showAction, m_pBackup, &BackupLink::Forward);
    m_pBackupPane = new QLabel(frame->statusBar());
    m_pBackupPane->setObjectName(QStringLiteral("BackupPane"));
    m_pBackupPane->setTextFormat(Qt::PlainText);
    m_pBackupPane->hide();
    frame->statusBar()->addPermanentWidget(m_pBackupPane);
    connect(m_pBackup, &BackupLink::statusChanged, m_pBackupPane, [this](const QString& text) {
        m_pBackupPane->setText(text);
        m_pBackupPane->setVisible(!text.isEmpty());
    });
}

CRemoteControl::~CRemoteControl() = default;

bool CRemoteControl::ApplyPreferences(QString* error) {
    const Preferences& prefs = m_pFrame->GetPreferences();
    OscController::Settings osc;
    osc.enabled = prefs.GetOscEnabled();
    osc.server.port = static_cast<quint16>(prefs.GetOscPort());
    osc.server.interfaceAddress = prefs.GetOscInterface();
    osc.server.allowedSenders = prefs.GetOscAllowedSenders();
    osc.passcode = prefs.GetOscPasscode();
    bool ok = m_pOsc->Apply(osc, error);
    MidiController::Settings midi;
    midi.enabled = prefs.GetMidiEnabled();
    midi.port = prefs.GetMidiPort();
    midi.mscDeviceId = prefs.GetMidiMscDeviceId();
    midi.mscFormat = prefs.GetMidiMscCommandFormat();
    if (const std::optional<QStringList> mappings = prefs.GetMidiMappings())
        midi.mappings = MidiMapping::FromTexts(*mappings);
    QString midiError;
    if (!m_pMidi->Apply(midi, &midiError)) {
        ok = false;
        if (error != nullptr) *error = error->isEmpty() ? midiError : *error + '\n' + midiError;
    }
    QString backupError;
    if (!m_pBackup->SetPeers(prefs.GetBackupPeers(), osc.passcode, &backupError)) {
        ok = false;
        if (error != nullptr) *error = error->isEmpty() ? backupError : *error + '\n' + backupError;
    }
    return ok;
}

RemoteResult CRemoteControl::Perform(const RemoteRequest& request, const CommandSource& source) {
    CMVView* view = m_pFrame->GetView();
    if (view == nullptr) return RemoteResult::Error(QStringLiteral("no show open"));
    // The keys do not reach the list while a dialog is open; nor does remote control.
    if (QApplication::activeModalWidget() != nullptr)
        return RemoteResult::Error(QStringLiteral("command not enabled now (a dialog is open)"));

    const RemoteResult notEnabled = RemoteResult::Error(QStringLiteral("command not enabled now"));
    const RemoteResult unknownCue = RemoteResult::Error(QStringLiteral("unknown cue"));
    auto dispatch = [&](int id, Qt::KeyboardModifiers modifiers) {
        return m_pFrame->DispatchCommand(id, modifiers, source) ? RemoteResult::Ok() : notEnabled;
    };

    QString cueId = request.cueId;
    if (request.kind == RemoteRequest::Kind::MscGo ||
        request.kind == RemoteRequest::Kind::MscStop) {
        QStringList ids;
        for (int row = 0; row < view->GetRowCount(); ++row) {
            const CQRecord* cue = view->GetRowCue(row);
            ids.append(cue != nullptr ? ToDisplayText(cue->m_strID) : QString());
        }
        const int row = remote::MatchCueNumber(request.cueId, ids);
        if (row < 0) return unknownCue;
        cueId = ids[row];
    }

    switch (request.kind) {
        case RemoteRequest::Kind::Command: {
            Qt::KeyboardModifiers modifiers = Qt::NoModifier;
            if (request.target == RemoteRequest::kOthers) modifiers = Qt::ShiftModifier;
            if (request.target == RemoteRequest::kAll) modifiers = Qt::ControlModifier;
            return dispatch(request.command, modifiers);
        }
        case RemoteRequest::Kind::Panic:
            // Fade All where the program has it, otherwise Stop All.
            return dispatch(m_pFrame->GetAction(ID_AUDIO_FADEALL) != nullptr ? ID_AUDIO_FADEALL
                                                                             : ID_AUDIO_STOPALL,
                            Qt::NoModifier);
        case RemoteRequest::Kind::StartCue:
        case RemoteRequest::Kind::MscGo: {
            CQRecord* cue = view->FindCueById(cueId);
            if (cue == nullptr) return unknownCue;
            if (!view->StartCue(cue, source))
                return RemoteResult::Error(QStringLiteral("cue not started"));
            return RemoteResult::Ok();
        }
        case RemoteRequest::Kind::StopCue:
        case RemoteRequest::Kind::MscStop: {
            CQRecord* cue = view->FindCueById(cueId);
            if (cue == nullptr) return unknownCue;
            view->KillCue(cue, source);
            return RemoteResult::Ok();
        }
        case RemoteRequest::Kind::FadeOutCue: {
            CQRecord* cue = view->FindCueById(cueId);
            if (cue == nullptr) return unknownCue;
            view->FadeOutCue(cue, source);
            return RemoteResult::Ok();
        }
        case RemoteRequest::Kind::SelectCue: {
            CQRecord* cue = view->FindCueById(cueId);
            if (cue == nullptr) return unknownCue;
            view->SelectCue(cue, source);
            return RemoteResult::Ok();
        }
        case RemoteRequest::Kind::Status:
        case RemoteRequest::Kind::Updates:
        case RemoteRequest::Kind::Connect:
        case RemoteRequest::Kind::Reply:
            break;
    }
    return RemoteResult::Error(QStringLiteral("unknown address"));
}

ShowStatus CRemoteControl::GetStatus() const {
    ShowStatus status;
    const CMVView* view = m_pFrame->GetView();
    if (view == nullptr) return status;
    for (const CCuePlayer* player : view->GetPlayers()) {
        const CQRecord* cue = player->GetCue();
        ShowStatus::Playing playing;
        if (cue != nullptr) {
            playing.id = ToDisplayText(cue->m_strID);
            playing.description = ToDisplayText(cue->m_strDescription);
        }
        playing.elapsedMs = player->GetElapsedMs();
        playing.remainingMs = player->GetRemainingMs();
        status.playing.append(playing);
    }
    const QList<int> selected = view->GetSelectedRows();
    if (!selected.isEmpty()) {
        if (const CQRecord* cue = view->GetRowCue(selected.front()))
            status.highlighted = ToDisplayText(cue->m_strID);
    }
    if (view->GetDocument() != nullptr)
        status.file = QFileInfo(view->GetDocument()->GetPathName()).fileName();
    return status;
}
