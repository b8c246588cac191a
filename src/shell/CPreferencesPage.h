#pragma once

#include <QString>
#include <QWidget>

class Preferences;

// One page of the Preferences dialog: the values of one concern (audio, OSC, MIDI, backup, show,
// display). A page shows the stored values when the dialog opens, checks what the operator typed
// before anything is stored, and stores its values when the operator presses OK or Apply. To add
// a page: derive from this class in a file pair of its own and add it where the frame builds the
// dialog (CMainFrame::OnEditPreferences). UI thread.
class CPreferencesPage : public QWidget {
    Q_OBJECT

public:
    explicit CPreferencesPage(QWidget* parent = nullptr) : QWidget(parent) {}

    // The tab's text ("Show", "OSC", ...).
    virtual QString GetTitle() const = 0;
    // Shows the stored values.
    virtual void Load(const Preferences& prefs) = 0;
    // Checks the values as typed; on a problem returns false with the message the operator must
    // see in `error` and the focus on the field concerned. Nothing is stored then.
    virtual bool Validate(QString* error) {
        (void)error;
        return true;
    }
    // Stores the values (only after every page validated).
    virtual void Store(Preferences& prefs) const = 0;
};
