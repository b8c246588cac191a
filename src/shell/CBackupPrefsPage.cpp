#include "shell/CBackupPrefsPage.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "shell/Preferences.h"

CBackupPrefsPage::CBackupPrefsPage(QWidget* parent) : CPreferencesPage(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(tr("Backup &machines (host:port, one a line):"), this);
    layout->addWidget(label);
    m_pPeers = new QPlainTextEdit(this);
    m_pPeers->setObjectName(QStringLiteral("BackupPeers"));
    m_pPeers->setPlaceholderText(tr("none, for example 192.168.1.21:53000"));
    m_pPeers->setTabChangesFocus(true);
    label->setBuddy(m_pPeers);
    layout->addWidget(m_pPeers);
    auto* note = new QLabel(
        tr("Each Go, stop and live command given here is also sent to these machines over OSC, "
           "so a backup with the same show plays in step. Commands that arrive over OSC are not "
           "sent on. Turn on OSC on the backup machines."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
}

QStringList CBackupPrefsPage::Peers() const {
    return m_pPeers->toPlainText().split(QRegularExpression(QStringLiteral("[\\s,;]+")),
                                         Qt::SkipEmptyParts);
}

void CBackupPrefsPage::Load(const Preferences& prefs) {
    m_pPeers->setPlainText(prefs.GetBackupPeers().join(QLatin1Char('\n')));
}

bool CBackupPrefsPage::Validate(QString* error) {
    for (const QString& peer : Peers()) {
        if (!Preferences::IsHostPort(peer)) {
            *error = tr("\"%1\" is not of the form host:port (a port from 1 to 65535).").arg(peer);
            m_pPeers->setFocus();
            return false;
        }
    }
    return true;
}

void CBackupPrefsPage::Store(Preferences& prefs) const { prefs.SetBackupPeers(Peers()); }
