#include "shell/CAudioPrefsPage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Preferences.h"

CAudioPrefsPage::CAudioPrefsPage(QStringList found, QWidget* parent)
    : CAudioPrefsPage(std::move(found), {}, parent) {}

CAudioPrefsPage::CAudioPrefsPage(QStringList found, QHash<QString, int> outputs, QWidget* parent)
    : CPreferencesPage(parent), m_found(std::move(found)), m_outputs(std::move(outputs)) {
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    m_pBackend = new QComboBox(this);
    m_pBackend->setObjectName(QStringLiteral("AudioBackend"));
    m_pBackend->addItem(tr("Automatic"), QStringLiteral("auto"));
    m_pBackend->addItem(tr("PulseAudio/PipeWire"), QStringLiteral("pulse"));
    m_pBackend->addItem(tr("JACK"), QStringLiteral("jack"));
    m_pBackend->addItem(tr("ALSA"), QStringLiteral("alsa"));
    form->addRow(tr("Sound &API"), m_pBackend);

    layout->addWidget(new QLabel(tr("&Devices used, in channel order:"), this));
    auto* row = new QHBoxLayout;
    layout->addLayout(row, 1);
    m_pDevices = new QListWidget(this);
    m_pDevices->setObjectName(QStringLiteral("AudioDevices"));
    row->addWidget(m_pDevices, 1);
    auto* buttons = new QVBoxLayout;
    row->addLayout(buttons);
    m_pUp = new QPushButton(tr("Move &Up"), this);
    m_pDown = new QPushButton(tr("Move D&own"), this);
    buttons->addWidget(m_pUp);
    buttons->addWidget(m_pDown);
    buttons->addStretch(1);
    connect(m_pUp, &QPushButton::clicked, this, [this] { Move(-1); });
    connect(m_pDown, &QPushButton::clicked, this, [this] { Move(1); });

    auto* note = new QLabel(tr("Changes apply at the next start of the program. When the "
                               "MARVANE_AUDIO environment variable is set, it overrides them."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
}

void CAudioPrefsPage::Load(const Preferences& prefs) {
    const int index = m_pBackend->findData(prefs.GetAudioBackend());
    m_pBackend->setCurrentIndex(index < 0 ? 0 : index);
    // The chosen devices first, in their order, then the other devices found, unused. With no
    // choice stored every device is used, in the order found.
    QStringList chosen;
    for (const Preferences::AudioDevice& device : prefs.GetAudioDeviceChoice()) {
        chosen << device.name;
        // A device not here keeps the outputs it had when last seen.
        if (!m_found.contains(device.name)) m_outputs.insert(device.name, device.outputs);
    }
    QStringList order = chosen;
    for (const QString& name : m_found) {
        if (!order.contains(name)) order << name;
    }
    m_pDevices->clear();
    for (const QString& name : order) {
        const bool present = m_found.contains(name);
        auto* item = new QListWidgetItem(present ? name : tr("%1 (missing)").arg(name));
        item->setData(Qt::UserRole, name);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(chosen.isEmpty() || chosen.contains(name) ? Qt::Checked
                                                                      : Qt::Unchecked);
        m_pDevices->addItem(item);
    }
    if (m_pDevices->count() > 0) m_pDevices->setCurrentRow(0);
}

void CAudioPrefsPage::Store(Preferences& prefs) const {
    prefs.SetAudioBackend(m_pBackend->currentData().toString());
    QStringList used;
    QList<Preferences::AudioDevice> choice;
    bool all = true;
    for (int i = 0; i < m_pDevices->count(); ++i) {
        const QListWidgetItem* item = m_pDevices->item(i);
        const QString name = item->data(Qt::UserRole).toString();
        if (item->checkState() == Qt::Checked) {
            used << name;
            choice.append({name, m_outputs.value(name, 2)});
        } else {
            all = false;
        }
    }
    // Every device found used in the order found stores nothing: devices plugged in later are
    // then used too.
    if (all && used == m_found) choice.clear();
    prefs.SetAudioDeviceChoice(choice);
}

void CAudioPrefsPage::Move(int delta) {
    const int row = m_pDevices->currentRow();
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= m_pDevices->count()) return;
    QListWidgetItem* item = m_pDevices->takeItem(row);
    m_pDevices->insertItem(target, item);
    m_pDevices->setCurrentRow(target);
}
