#pragma once

#include <QDialog>

// The About box: the program icon, "Marvane Version 3.0" (the project's version) and an OK
// button. OK or Escape closes it; nothing is stored.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
