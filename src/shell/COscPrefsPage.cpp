#include "shell/COscPrefsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

#include "shell/Preferences.h"

COscPrefsPage::COscPrefsPage(QWidget* parent) : CPreferencesPage(parent) {
    auto* layout = new QVBoxLayout(this);
    m_pEnabled = new QCheckBox(tr("&Accept OSC show control"), this);
    m_pEnabled->setObjectName(QStringLiteral("OscEnabled"));
    layout->addWidget(m_pEnabled);

    auto* form = new QFormLayout;
    layout->addLayout(form);
    m_pPort = new QSpinBox(this);
    m_pPort->setObjectName(QStringLiteral("OscPort"));
    m_pPort->setRange(1, 65535);
    form->addRow(tr("UDP &port"), m_pPort);
    m_pInterface = new QLineEdit(this);
    m_pInterface->setObjectName(QStringLiteral("OscInterface"));
    m_pInterface->setPlaceholderText(tr("every interface"));
    form->addRow(tr("&Interface address"), m_pInterface);
    m_pPasscode = new QLineEdit(this);
    m_pPasscode->setObjectName(QStringLiteral("OscPasscode"));
    m_pPasscode->setPlaceholderText(tr("none"));
    form->addRow(tr("Pass&code"), m_pPasscode);
    m_pAllowed = new QPlainTextEdit(this);
    m_pAllowed->setObjectName(QStringLiteral("OscAllowedSenders"));
    m_pAllowed->setPlaceholderText(tr("anyone"));
    m_pAllowed->setTabChangesFocus(true);
    form->addRow(tr("Allowed &senders\n(one address a line)"), m_pAllowed);
    auto* note = new QLabel(
        tr("With a passcode, a controller sends /connect and the passcode before anything else. "
           "Messages from other senders are ignored."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch(1);
}

QStringList COscPrefsPage::AllowedSenders() const {
    return m_pAllowed->toPlainText().split(QRegularExpression(QStringLiteral("[\\s,;]+")),
                                           Qt::SkipEmptyParts);
}

void COscPrefsPage::Load(const Preferences& prefs) {
    m_pEnabled->setChecked(prefs.GetOscEnabled());
    m_pPort->setValue(prefs.GetOscPort());
    m_pInterface->setText(prefs.GetOscInterface());
    m_pPasscode->setText(prefs.GetOscPasscode());
    m_pAllowed->setPlainText(prefs.GetOscAllowedSenders().join(QLatin1Char('\n')));
}

bool COscPrefsPage::Validate(QString* error) {
    const QString iface = m_pInterface->text().trimmed();
    if (!iface.isEmpty() && !Preferences::IsNumericAddress(iface)) {
        *error =
            tr("The interface must be a numeric address such as 192.168.1.20, or empty for "
               "every interface.");
        m_pInterface->setFocus();
        return false;
    }
    for (const QString& sender : AllowedSenders()) {
        if (!Preferences::IsNumericAddress(sender)) {
            *error = tr("\"%1\" is not a numeric address.").arg(sender);
            m_pAllowed->setFocus();
            return false;
        }
    }
    return true;
}

void COscPrefsPage::Store(Preferences& prefs) const {
    prefs.SetOscEnabled(m_pEnabled->isChecked());
    prefs.SetOscPort(m_pPort->value());
    prefs.SetOscInterface(m_pInterface->text().trimmed());
    prefs.SetOscPasscode(m_pPasscode->text());
    prefs.SetOscAllowedSenders(AllowedSenders());
}
