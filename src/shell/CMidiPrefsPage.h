#pragma once

#include <QList>
#include <QMetaObject>

#include "remote/MidiMapping.h"
#include "shell/CPreferencesPage.h"

class MidiController;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

// Preferences, "MIDI": the input port, MIDI Show Control's device ID and command format, and
// the mappings from notes, programs and controllers to actions. "Learn" fills the selected
// mapping (or a new one) with the next control moved on a device. UI thread.
class CMidiPrefsPage : public CPreferencesPage {
    Q_OBJECT

public:
    // `midi` lists the ports and hears what "Learn" captures; it may be null.
    explicit CMidiPrefsPage(MidiController* midi, QWidget* parent = nullptr);
    ~CMidiPrefsPage() override;

    QString GetTitle() const override { return tr("MIDI"); }
    void Load(const Preferences& prefs) override;
    bool Validate(QString* error) override;
    void Store(Preferences& prefs) const override;

    // The mappings as the table holds them now (rows that are no mapping are left out).
    QList<MidiMapping> GetMappings() const;

    QCheckBox* GetEnabledField() const { return m_pEnabled; }
    QComboBox* GetPortField() const { return m_pPort; }
    QSpinBox* GetDeviceIdField() const { return m_pDeviceId; }
    QComboBox* GetFormatField() const { return m_pFormat; }
    QTableWidget* GetMappingTable() const { return m_pTable; }
    QPushButton* GetLearnButton() const { return m_pLearn; }

private:
    void SetMappings(const QList<MidiMapping>& mappings);
    void AddRow(const MidiMapping& mapping);
    QString RowText(int row) const;
    void OnLearn(bool on);
    void OnEventSeen(const MidiEvent& event);

    MidiController* m_pMidi;
    QCheckBox* m_pEnabled = nullptr;
    QComboBox* m_pPort = nullptr;
    QSpinBox* m_pDeviceId = nullptr;
    QComboBox* m_pFormat = nullptr;
    QTableWidget* m_pTable = nullptr;
    QPushButton* m_pLearn = nullptr;
    QLabel* m_pLearnNote = nullptr;
    QMetaObject::Connection m_learning;
};
