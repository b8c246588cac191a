#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "cuelist/CQRecord.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The Cue Settings dialog: everything about one cue. CQRecord::EditSettings fills the public
// members, runs the dialog with DoModal and copies the members back after OK. OK runs the data
// exchange in the saving direction and closes the dialog only when every field passed its check;
// a failed check shows its message and puts the focus on the field with its text selected.
// UI thread only.
class CCueSettingsDlg : public QDialog {
    Q_OBJECT

public:
    // Field limits and ranges.
    static constexpr int kMaxIdChars = 10;
    static constexpr int kMaxDescriptionChars = 255;
    static constexpr int kMaxNotesChars = 255;
    static constexpr int32_t kMinPan = CQRecord::kMinPan;
    static constexpr int32_t kMaxPan = CQRecord::kMaxPan;
    static constexpr int32_t kMinVolume = CQRecord::kMinVolume;
    static constexpr int32_t kMaxVolume = CQRecord::kMaxVolume;
    static constexpr double kMinFade = 0.0;
    static constexpr double kMaxFade = CQRecord::kMaxFadeSeconds;

    explicit CCueSettingsDlg(QWidget* parent = nullptr);
    ~CCueSettingsDlg() override;

    // Fills the controls from the members and shows the dialog modally; returns QDialog::Accepted
    // (OK, members hold the checked values) or QDialog::Rejected (Cancel, members as they were).
    int DoModal();

    // Runs the data exchange: saving = false fills the controls from the members; saving = true
    // checks every field in order and stores it, stopping at the first failure (returns false).
    bool UpdateData(bool saving);

    // What the Browse button does, callable directly.
    void OnBrowse();

    // Members, read and written by CQRecord::EditSettings.
    QString m_strID;
    QString m_strNotes;
    QString m_strDescription;
    int m_bExclusive = 0;
    int m_bLooped = 0;
    int m_nCueType = -1;  // radio index: 0 Normal, 1 Background, 2 Multiple, 3 Automatic
    int m_nChannel = -1;  // index into the channel list, -1 for none
    int32_t m_nPan = 0;
    int32_t m_nVolume = 0;    // dB
    double m_dFadeIn = 0.0;   // seconds
    double m_dFadeOut = 0.0;  // seconds
    QByteArray m_strPath;     // the sound file, bytes as stored; changed only by Browse

    // Tests stand in for the Open file dialog: the function returns the chosen path, or an empty
    // string for Cancel. An empty function restores the real file dialog.
    using FileChooser = std::function<QString(QWidget* parent)>;
    static void SetFileChooserForTesting(FileChooser chooser);

    // Tests stand in for the modal loop: DoModal fills the dialog and then calls the function
    // instead of exec(); it returns the dialog's result (typically after calling accept()).
    using ModalRunner = std::function<int(CCueSettingsDlg& dialog)>;
    static void SetModalRunnerForTesting(ModalRunner runner);

    // Tests and DoModal: the channel names shown in the list. When not set before DoModal, the
    // names of theSoundOutput's channels are used.
    void SetChannelNames(const QStringList& names);

    // The file dialog's first filter: every sound file the player decodes, any letter case.
    static QString SoundFilesFilter();

public slots:
    void accept() override;

private:
    void BuildControls();
    void FillChannelList();
    void ShowPath();
    bool ExchangeText(bool saving, QLineEdit* edit, QString* value, int limit);
    bool ExchangeInteger(bool saving, QLineEdit* edit, int32_t* value, int32_t lo, int32_t hi);
    bool ExchangeNumber(bool saving, QLineEdit* edit, double* value, double lo, double hi);
    void Fail(QLineEdit* edit, const QString& message);
    QString ChooseFile();

    QLineEdit* m_editId = nullptr;
    QLineEdit* m_editDescription = nullptr;
    QRadioButton* m_radioType[4] = {};
    QButtonGroup* m_typeGroup = nullptr;
    QCheckBox* m_checkExclusive = nullptr;
    QCheckBox* m_checkLooped = nullptr;
    QLineEdit* m_editVolume = nullptr;
    QLineEdit* m_editPan = nullptr;
    QLineEdit* m_editFadeIn = nullptr;
    QLineEdit* m_editFadeOut = nullptr;
    QLineEdit* m_editNotes = nullptr;
    QComboBox* m_comboChannel = nullptr;  // the channel list
    QPushButton* m_buttonOk = nullptr;
    QPushButton* m_buttonCancel = nullptr;
    QLabel* m_staticFileName = nullptr;  // the file-name display
    QPushButton* m_buttonBrowse = nullptr;

    QStringList m_channelNames;
    bool m_channelNamesSet = false;
};
