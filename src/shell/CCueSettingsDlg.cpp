#include "shell/CCueSettingsDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QValidator>

#include "engine/CSoundOutput.h"
#include "platform/media/SoundFileOpener.h"
#include "platform/text/AnsiText.h"
#include "platform/text/PathRules.h"
#include "shell/DialogDataExchange.h"
#include "view/MessageBox.h"

namespace {

CCueSettingsDlg::FileChooser& TestFileChooser() {
    static CCueSettingsDlg::FileChooser chooser;
    return chooser;
}

CCueSettingsDlg::ModalRunner& TestModalRunner() {
    static CCueSettingsDlg::ModalRunner runner;
    return runner;
}

// Keeps a text that was already longer than its field's limit when the field was filled: the
// operator may delete from it but not make it longer. (A field whose text fits uses maxLength.)
class ShrinkOnlyValidator : public QValidator {
public:
    ShrinkOnlyValidator(QLineEdit* edit, int limit) : QValidator(edit), m_limit(limit) {
        m_lastLength = static_cast<int>(edit->text().size());
        QObject::connect(edit, &QLineEdit::textChanged, this,
                         [this](const QString& text) { m_lastLength = int(text.size()); });
    }
    State validate(QString& input, int&) const override {
        const int n = static_cast<int>(input.size());
        return (n <= m_limit || n <= m_lastLength) ? Acceptable : Invalid;
    }

private:
    int m_limit;
    int m_lastLength = 0;
};

// Puts `text` in the edit and limits what the operator can type to `limit` characters; a longer
// text is shown whole (and fails the check on OK).
void SetLimitedText(QLineEdit* edit, const QString& text, int limit) {
    if (auto* old = edit->validator()) {
        edit->setValidator(nullptr);
        delete old;
    }
    edit->setMaxLength(32767);
    edit->setText(text);
    if (text.size() <= limit) {
        edit->setMaxLength(limit);
    } else {
        edit->setValidator(new ShrinkOnlyValidator(edit, limit));
    }
}

QString BaseName(const QByteArray& path) {
    return ToDisplayText(mvpath::RemoveExtension(mvpath::FindFileName(path)));
}

}  // namespace

CCueSettingsDlg::CCueSettingsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Cue Settings"));
    setModal(true);
    BuildControls();
}

CCueSettingsDlg::~CCueSettingsDlg() = default;

void CCueSettingsDlg::SetFileChooserForTesting(FileChooser chooser) {
    TestFileChooser() = std::move(chooser);
}

void CCueSettingsDlg::SetModalRunnerForTesting(ModalRunner runner) {
    TestModalRunner() = std::move(runner);
}

void CCueSettingsDlg::SetChannelNames(const QStringList& names) {
    m_channelNames = names;
    m_channelNamesSet = true;
}

void CCueSettingsDlg::BuildControls() {
    auto makeEdit = [this](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        return edit;
    };
    auto makeLabel = [this](const QString& text, QWidget* buddy) {
        auto* label = new QLabel(text, this);
        label->setBuddy(buddy);
        return label;
    };

    // Controls in the order of the Tab key.
    m_editId = makeEdit("cueIdEdit");
    m_editDescription = makeEdit("descriptionEdit");
    const char* typeNames[4] = {"normalRadio", "backgroundRadio", "multipleRadio",
                                "automaticRadio"};
    const QString typeTexts[4] = {QStringLiteral("&Normal"), QStringLiteral("&Background"),
                                  QStringLiteral("&Multiple"), QStringLiteral("&Automatic")};
    m_typeGroup = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        m_radioType[i] = new QRadioButton(typeTexts[i], this);
        m_radioType[i]->setObjectName(QLatin1String(typeNames[i]));
        m_radioType[i]->setFocusPolicy(Qt::ClickFocus);  // reached by mnemonic or mouse, not Tab
        m_typeGroup->addButton(m_radioType[i], i);
    }
    m_checkExclusive = new QCheckBox(QStringLiteral("E&xclusive"), this);
    m_checkExclusive->setObjectName(QStringLiteral("exclusiveCheck"));
    m_checkLooped = new QCheckBox(QStringLiteral("&Looped"), this);
    m_checkLooped->setObjectName(QStringLiteral("loopedCheck"));
    m_editVolume = makeEdit("volumeEdit");
    m_editPan = makeEdit("panEdit");
    m_editFadeIn = makeEdit("fadeInEdit");
    m_editFadeOut = makeEdit("fadeOutEdit");
    m_editNotes = makeEdit("notesEdit");
    m_comboChannel = new QComboBox(this);
    m_comboChannel->setObjectName(QStringLiteral("channelCombo"));
    m_comboChannel->setEditable(false);
    m_comboChannel->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_comboChannel->setMinimumContentsLength(20);
    m_buttonOk = new QPushButton(QStringLiteral("OK"), this);
    m_buttonOk->setObjectName(QStringLiteral("okButton"));
    // OK is the default button; a push button that has the focus takes Enter itself (the
    // buttons of a dialog are auto-default), so Enter on Cancel cancels and on Browse browses.
    m_buttonOk->setDefault(true);
    m_buttonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_buttonCancel->setObjectName(QStringLiteral("cancelButton"));
    m_staticFileName = new QLabel(this);
    m_staticFileName->setObjectName(QStringLiteral("fileNameLabel"));
    m_staticFileName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_staticFileName->setTextFormat(Qt::PlainText);
    m_buttonBrowse = new QPushButton(QStringLiteral("Browse"), this);
    m_buttonBrowse->setObjectName(QStringLiteral("browseButton"));

    QWidget* tabOrder[] = {m_editId,      m_editDescription, m_checkExclusive, m_checkLooped,
                           m_editVolume,  m_editPan,         m_editFadeIn,     m_editFadeOut,
                           m_editNotes,   m_comboChannel,    m_buttonOk,       m_buttonCancel,
                           m_buttonBrowse};
    for (size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Layout: ID and description on top, the file below them, then cue type and options beside
    // the levels and fades, then channel and notes, then the buttons.
    auto* top = new QGridLayout;
    top->addWidget(makeLabel(QStringLiteral("Cue &ID:"), m_editId), 0, 0);
    top->addWidget(m_editId, 0, 1);
    top->addWidget(makeLabel(QStringLiteral("&Description:"), m_editDescription), 0, 2);
    top->addWidget(m_editDescription, 0, 3);
    top->setColumnStretch(1, 1);
    top->setColumnStretch(3, 4);

    auto* fileBox = new QGroupBox(QStringLiteral("WAV File"), this);
    auto* fileLayout = new QHBoxLayout(fileBox);
    fileLayout->addWidget(m_staticFileName, 1);
    fileLayout->addWidget(m_buttonBrowse);

    auto* typeBox = new QGroupBox(QStringLiteral("Cue Type"), this);
    auto* typeLayout = new QVBoxLayout(typeBox);
    for (auto* radio : m_radioType) typeLayout->addWidget(radio);
    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(typeBox);
    leftColumn->addWidget(m_checkExclusive);
    leftColumn->addWidget(m_checkLooped);
    leftColumn->addStretch(1);

    auto* levelBox = new QGroupBox(QStringLiteral("Volume and Auto Fade"), this);
    auto* levelLayout = new QGridLayout(levelBox);
    levelLayout->addWidget(makeLabel(QStringLiteral("&Volume (dB):"), m_editVolume), 0, 0);
    levelLayout->addWidget(m_editVolume, 0, 1);
    levelLayout->addWidget(makeLabel(QStringLiteral("Stereo &Pan:"), m_editPan), 1, 0);
    levelLayout->addWidget(m_editPan, 1, 1);
    levelLayout->addWidget(makeLabel(QStringLiteral("&Fade in (secs):"), m_editFadeIn), 2, 0);
    levelLayout->addWidget(m_editFadeIn, 2, 1);
    levelLayout->addWidget(makeLabel(QStringLiteral("Fade &out (secs):"), m_editFadeOut), 3, 0);
    levelLayout->addWidget(m_editFadeOut, 3, 1);
    auto* channelRow = new QHBoxLayout;
    channelRow->addWidget(makeLabel(QStringLiteral("&Channel:"), m_comboChannel));
    channelRow->addWidget(m_comboChannel, 1);
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addWidget(levelBox);
    rightColumn->addLayout(channelRow);
    rightColumn->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addLayout(leftColumn, 2);
    middle->addLayout(rightColumn, 3);

    auto* notesRow = new QHBoxLayout;
    notesRow->addWidget(makeLabel(QStringLiteral("Note&s:"), m_editNotes));
    notesRow->addWidget(m_editNotes, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_buttonOk);
    buttons->addWidget(m_buttonCancel);

    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(fileBox);
    main->addLayout(middle);
    main->addLayout(notesRow);
    main->addLayout(buttons);

    connect(m_buttonOk, &QPushButton::clicked, this, &CCueSettingsDlg::accept);
    connect(m_buttonCancel, &QPushButton::clicked, this, &CCueSettingsDlg::reject);
    connect(m_buttonBrowse, &QPushButton::clicked, this, &CCueSettingsDlg::OnBrowse);

    // 284 x 194 dialog units of an 8-point dialog font.
    resize(430, 320);
}

int CCueSettingsDlg::DoModal() {
    FillChannelList();
    UpdateData(false);
    ShowPath();
    m_editId->setFocus(Qt::OtherFocusReason);
    if (TestModalRunner()) return TestModalRunner()(*this);
    return exec();
}

void CCueSettingsDlg::FillChannelList() {
    if (!m_channelNamesSet) {
        m_channelNames.clear();
        theSoundOutput.GetChannelNames(m_channelNames);
    }
    m_comboChannel->clear();
    for (const QString& name : m_channelNames) m_comboChannel->addItem(name);
}

void CCueSettingsDlg::ShowPath() {
    const QString text = ToDisplayText(m_strPath);
    m_staticFileName->setText(text);
    m_staticFileName->setToolTip(text);
}

void CCueSettingsDlg::accept() {
    if (!UpdateData(true)) return;
    QDialog::accept();
}

bool CCueSettingsDlg::UpdateData(bool saving) {
    // Saving stores nothing until its own field has passed; a failure leaves the later members
    // as they were.
    if (!ExchangeText(saving, m_editId, &m_strID, kMaxIdChars)) return false;
    if (!ExchangeText(saving, m_editNotes, &m_strNotes, kMaxNotesChars)) return false;
    if (!ExchangeText(saving, m_editDescription, &m_strDescription, kMaxDescriptionChars)) {
        return false;
    }
    if (saving) {
        m_bExclusive = m_checkExclusive->isChecked() ? 1 : 0;
        m_bLooped = m_checkLooped->isChecked() ? 1 : 0;
        m_nCueType = m_typeGroup->checkedId();
        m_nChannel = m_comboChannel->currentIndex();
    } else {
        m_checkExclusive->setChecked(m_bExclusive != 0);
        m_checkLooped->setChecked(m_bLooped != 0);
        m_typeGroup->setExclusive(false);
        for (int i = 0; i < 4; ++i) m_radioType[i]->setChecked(i == m_nCueType);
        m_typeGroup->setExclusive(true);
        m_comboChannel->setCurrentIndex(
            (m_nChannel >= 0 && m_nChannel < m_comboChannel->count()) ? m_nChannel : -1);
    }
    if (!ExchangeInteger(saving, m_editPan, &m_nPan, kMinPan, kMaxPan)) return false;
    if (!ExchangeInteger(saving, m_editVolume, &m_nVolume, kMinVolume, kMaxVolume)) return false;
    if (!ExchangeNumber(saving, m_editFadeIn, &m_dFadeIn, kMinFade, kMaxFade)) return false;
    if (!ExchangeNumber(saving, m_editFadeOut, &m_dFadeOut, kMinFade, kMaxFade)) return false;
    return true;
}

bool CCueSettingsDlg::ExchangeText(bool saving, QLineEdit* edit, QString* value, int limit) {
    if (!saving) {
        SetLimitedText(edit, *value, limit);
        return true;
    }
    const QString text = edit->text();
    if (text.size() > limit) {
        Fail(edit, mvdlg::MaxCharsMessage(limit));
        return false;
    }
    *value = text;
    return true;
}

bool CCueSettingsDlg::ExchangeInteger(bool saving, QLineEdit* edit, int32_t* value, int32_t lo,
                                      int32_t hi) {
    if (!saving) {
        edit->setText(mvdlg::FormatInteger(*value));
        return true;
    }
    int32_t v = 0;
    if (!mvdlg::ReadInteger(edit->text(), &v)) {
        Fail(edit, mvdlg::IntegerFormatMessage());
        return false;
    }
    if (v < lo || v > hi) {
        Fail(edit, mvdlg::IntegerRangeMessage(lo, hi));
        return false;
    }
    *value = v;
    return true;
}

bool CCueSettingsDlg::ExchangeNumber(bool saving, QLineEdit* edit, double* value, double lo,
                                     double hi) {
    if (!saving) {
        edit->setText(mvdlg::FormatNumber(*value));
        return true;
    }
    double v = 0.0;
    if (!mvdlg::ReadNumber(edit->text(), &v)) {
        Fail(edit, mvdlg::NumberFormatMessage());
        return false;
    }
    if (!(v >= lo && v <= hi)) {
        Fail(edit, mvdlg::NumberRangeMessage(lo, hi));
        return false;
    }
    *value = v;
    return true;
}

void CCueSettingsDlg::Fail(QLineEdit* edit, const QString& message) {
    mvui::ShowMessage(this, message, QMessageBox::Warning, QMessageBox::Ok);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

QString CCueSettingsDlg::SoundFilesFilter() {
    // "*.flac" becomes "*.[Ff][Ll][Aa][Cc]".
    const auto anyCase = [](const QString& ext) {
        QString pattern = QStringLiteral("*");
        for (const QChar c : ext) {
            pattern +=
                c.isLetter() ? QStringLiteral("[%1%2]").arg(c.toUpper(), c.toLower()) : QString(c);
        }
        return pattern;
    };
    QStringList patterns = {anyCase(QStringLiteral(".wav"))};
    for (const QString& ext : mvmedia::DecodedExtensions()) patterns.append(anyCase(ext));
    return QStringLiteral("Sound files (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QString CCueSettingsDlg::ChooseFile() {
    if (TestFileChooser()) return TestFileChooser()(this);
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);  // the file must exist
    dialog.setDefaultSuffix(QStringLiteral("WAV"));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // The patterns ignore letter case, as the file systems the lists come from do.
    dialog.setNameFilters({SoundFilesFilter(), QStringLiteral("WAV files (*.[Ww][Aa][Vv])"),
                           QStringLiteral("All Files (*)")});
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

void CCueSettingsDlg::OnBrowse() {
    const QString chosen = ChooseFile();
    if (chosen.isEmpty()) return;  // cancelled
    const QString oldName = BaseName(m_strPath);
    const QString description = m_editDescription->text();
    m_strPath = QFile::encodeName(chosen);
    if (description == oldName) {
        SetLimitedText(m_editDescription, BaseName(m_strPath), kMaxDescriptionChars);
    }
    ShowPath();
}
