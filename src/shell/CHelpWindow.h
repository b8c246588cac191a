#pragma once

#include <QString>
#include <QWidget>

class QPrinter;
class QTextBrowser;
class QToolBar;

// The user guide in a window of the program's own, so that help opens whether or not a web
// browser is installed: the HTML pages beside the program shown by a QTextBrowser, with Back,
// Forward, Contents and Print (the page shown, e.g. the table of keys to pin up by the desk).
// The main frame keeps one and raises it for the Help commands. UI thread only.
class CHelpWindow : public QWidget {
    Q_OBJECT

public:
    // `indexPath`: the contents page; the other pages and images lie beside it.
    explicit CHelpWindow(const QString& indexPath, QWidget* parent = nullptr);

    // Shows the page `name` of the guide ("keys.html", "show.html#go"); the contents page when
    // empty.
    void ShowPage(const QString& name = QString());
    // Prints the page shown.
    void PrintPage(QPrinter* printer) const;

    QTextBrowser* GetBrowser() const { return m_pBrowser; }
    QString GetIndexPath() const { return m_strIndexPath; }

private:
    void OnPrint();

    QString m_strIndexPath;
    QTextBrowser* m_pBrowser = nullptr;
    QToolBar* m_pToolBar = nullptr;
};
