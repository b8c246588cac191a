#include "shell/CMidiPrefsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "remote/MidiController.h"
#include "shell/Preferences.h"

namespace {

enum Column { kMessage, kChannel, kNumber, kThreshold, kAction, kColumns };

QString MessageName(MidiEvent::Type type) {
    switch (type) {
        case MidiEvent::Type::ProgramChange:
            return QStringLiteral("Program Change");
        case MidiEvent::Type::ControlChange:
            return QStringLiteral("Control Change");
        default:
            return QStringLiteral("Note On");
    }
}

QString MessageWord(const QString& name) {
    const QString simple = name.simplified().toLower();
    if (simple == QLatin1String("program change") || simple == QLatin1String("program"))
        return QStringLiteral("program");
    if (simple == QLatin1String("control change") || simple == QLatin1String("cc"))
        return QStringLiteral("cc");
    if (simple == QLatin1String("note on") || simple == QLatin1String("note"))
        return QStringLiteral("note");
    return simple.isEmpty() ? QStringLiteral("?") : simple;
}

}  // namespace

CMidiPrefsPage::CMidiPrefsPage(MidiController* midi, QWidget* parent)
    : CPreferencesPage(parent), m_pMidi(midi) {
    auto* layout = new QVBoxLayout(this);
    m_pEnabled = new QCheckBox(tr("&Accept MIDI show control"), this);
    m_pEnabled->setObjectName(QStringLiteral("MidiEnabled"));
    layout->addWidget(m_pEnabled);

    auto* form = new QFormLayout;
    layout->addLayout(form);
    m_pPort = new QComboBox(this);
    m_pPort->setObjectName(QStringLiteral("MidiPort"));
    m_pPort->setEditable(true);
    m_pPort->addItem(QString());
    if (m_pMidi != nullptr) m_pPort->addItems(m_pMidi->GetPortNames());
    m_pPort->lineEdit()->setPlaceholderText(tr("every port"));
    form->addRow(tr("Input &port"), m_pPort);
    m_pDeviceId = new QSpinBox(this);
    m_pDeviceId->setObjectName(QStringLiteral("MscDeviceId"));
    m_pDeviceId->setRange(0, Preferences::kMscAllCall);
    form->addRow(tr("MSC &device ID (127: all)"), m_pDeviceId);
    m_pFormat = new QComboBox(this);
    m_pFormat->setObjectName(QStringLiteral("MscCommandFormat"));
    m_pFormat->addItem(tr("Sound (0x10)"), Preferences::kMscFormatSound);
    m_pFormat->addItem(tr("All types (0x7F)"), Preferences::kMscFormatAll);
    form->addRow(tr("MSC command &format"), m_pFormat);

    m_pTable = new QTableWidget(0, kColumns, this);
    m_pTable->setObjectName(QStringLiteral("MidiMappings"));
    m_pTable->setHorizontalHeaderLabels(
        {tr("Message"), tr("Channel"), tr("Number"), tr("At least"), tr("Action")});
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_pTable, 1);

    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(tr("A&dd"), this);
    auto* remove = new QPushButton(tr("&Remove"), this);
    m_pLearn = new QPushButton(tr("&Learn"), this);
    m_pLearn->setObjectName(QStringLiteral("MidiLearn"));
    m_pLearn->setCheckable(true);
    m_pLearn->setEnabled(m_pMidi != nullptr);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addWidget(m_pLearn);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_pLearnNote = new QLabel(
        tr("Learn: select a mapping (or none for a new one), press Learn and move the control. "
           "Learn hears the ports open now: turn MIDI on and press Apply first. Actions: /go, "
           "/stop, /panic, /live/volumeUp 0 (0 current, 1 others, 2 all), /cue/Q010/start, "
           "/cue/Q010/stop, /cue/Q010/fadeOut, /select/Q010."),
        this);
    m_pLearnNote->setWordWrap(true);
    layout->addWidget(m_pLearnNote);

    connect(add, &QPushButton::clicked, this, [this] {
        AddRow(MidiMapping{MidiEvent::Type::NoteOn, -1, 60, 0, QStringLiteral("/go")});
        m_pTable->selectRow(m_pTable->rowCount() - 1);
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = m_pTable->currentRow();
        if (row >= 0) m_pTable->removeRow(row);
    });
    connect(m_pLearn, &QPushButton::toggled, this, &CMidiPrefsPage::OnLearn);
}

CMidiPrefsPage::~CMidiPrefsPage() { disconnect(m_learning); }

void CMidiPrefsPage::AddRow(const MidiMapping& mapping) {
    const int row = m_pTable->rowCount();
    m_pTable->insertRow(row);
    m_pTable->setItem(row, kMessage, new QTableWidgetItem(MessageName(mapping.type)));
    m_pTable->setItem(
        row, kChannel,
        new QTableWidgetItem(mapping.channel < 0 ? QStringLiteral("any")
                                                 : QString::number(mapping.channel + 1)));
    m_pTable->setItem(row, kNumber, new QTableWidgetItem(QString::number(mapping.number)));
    m_pTable->setItem(row, kThreshold, new QTableWidgetItem(QString::number(mapping.threshold)));
    m_pTable->setItem(row, kAction, new QTableWidgetItem(mapping.action));
}

void CMidiPrefsPage::SetMappings(const QList<MidiMapping>& mappings) {
    m_pTable->setRowCount(0);
    for (const MidiMapping& mapping : mappings) AddRow(mapping);
}

QString CMidiPrefsPage::RowText(int row) const {
    auto cell = [&](int column) {
        const QTableWidgetItem* item = m_pTable->item(row, column);
        return item != nullptr ? item->text().simplified() : QString();
    };
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(MessageWord(cell(kMessage)), cell(kChannel), cell(kNumber), cell(kThreshold),
             cell(kAction));
}

QList<MidiMapping> CMidiPrefsPage::GetMappings() const {
    QList<MidiMapping> mappings;
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        if (const std::optional<MidiMapping> mapping = MidiMapping::FromText(RowText(row)))
            mappings.append(*mapping);
    }
    return mappings;
}

void CMidiPrefsPage::Load(const Preferences& prefs) {
    m_pEnabled->setChecked(prefs.GetMidiEnabled());
    m_pPort->setCurrentText(prefs.GetMidiPort());
    m_pDeviceId->setValue(prefs.GetMidiMscDeviceId());
    m_pFormat->setCurrentIndex(prefs.GetMidiMscCommandFormat() == Preferences::kMscFormatAll);
    const std::optional<QStringList> stored = prefs.GetMidiMappings();
    SetMappings(stored ? MidiMapping::FromTexts(*stored) : MidiMapping::Defaults());
}

bool CMidiPrefsPage::Validate(QString* error) {
    const int id = m_pDeviceId->value();
    if (id > Preferences::kMaxMscDeviceId && id != Preferences::kMscAllCall) {
        *error = tr("The MSC device ID is 0 to 111, or 127 to answer every device ID.");
        m_pDeviceId->setFocus();
        return false;
    }
    for (int row = 0; row < m_pTable->rowCount(); ++row) {
        if (MidiMapping::FromText(RowText(row))) continue;
        const QTableWidgetItem* action = m_pTable->item(row, kAction);
        MidiMapping probe;
        probe.action = action != nullptr ? action->text() : QString();
        QString why;
        probe.Request(&why);
        *error = tr("Mapping %1 is not complete: the message is Note On, Program Change or "
                    "Control Change, the channel 1 to 16 or \"any\", the number and the least "
                    "value 0 to 127, and the action one of those listed%2.")
                     .arg(row + 1)
                     .arg(why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why));
        m_pTable->setFocus();
        m_pTable->selectRow(row);
        return false;
    }
    return true;
}

void CMidiPrefsPage::Store(Preferences& prefs) const {
    prefs.SetMidiEnabled(m_pEnabled->isChecked());
    prefs.SetMidiPort(m_pPort->currentText().trimmed());
    prefs.SetMidiMscDeviceId(m_pDeviceId->value());
    prefs.SetMidiMscCommandFormat(m_pFormat->currentData().toInt());
    prefs.SetMidiMappings(MidiMapping::ToTexts(GetMappings()));
}

void CMidiPrefsPage::OnLearn(bool on) {
    disconnect(m_learning);
    if (!on || m_pMidi == nullptr) {
        m_pLearn->setText(tr("&Learn"));
        return;
    }
    m_pLearn->setText(tr("Move a control..."));
    m_learning = connect(m_pMidi, &MidiController::eventSeen, this, &CMidiPrefsPage::OnEventSeen);
}

void CMidiPrefsPage::OnEventSeen(const MidiEvent& event) {
    int row = m_pTable->currentRow();
    if (row < 0) {
        AddRow(MidiMapping{event.type, event.channel, event.number, 0, QStringLiteral("/go")});
        row = m_pTable->rowCount() - 1;
    } else {
        m_pTable->item(row, kMessage)->setText(MessageName(event.type));
        m_pTable->item(row, kChannel)->setText(QString::number(event.channel + 1));
        m_pTable->item(row, kNumber)->setText(QString::number(event.number));
    }
    m_pTable->selectRow(row);
    m_pLearnNote->setText(tr("Heard: %1").arg(event.ToText()));
    m_pLearn->setChecked(false);
}
