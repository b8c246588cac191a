#include "shell/CHelpWindow.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(const QString& indexPath, QWidget* parent)
    : QWidget(parent, Qt::Window), m_strIndexPath(indexPath) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Marvane Help"));
    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    m_pBrowser->setSearchPaths({QFileInfo(indexPath).absolutePath()});
    // The pages' style sheet, which QTextBrowser does not load from their <link> itself.
    QFile css(QFileInfo(indexPath).absolutePath() + QStringLiteral("/style.css"));
    if (css.open(QIODevice::ReadOnly)) {
        m_pBrowser->document()->setDefaultStyleSheet(QString::fromUtf8(css.readAll()));
    }
    // Pages of the guide open here; a link out of it (a web address) goes to the desktop.
    m_pBrowser->setOpenLinks(false);
    connect(m_pBrowser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.isRelative() || url.isLocalFile()) {
            m_pBrowser->setSource(url);
        } else {
            QDesktopServices::openUrl(url);
        }
    });
    connect(m_pBrowser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_pBrowser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Marvane Help") : title);
    });

    m_pToolBar = new QToolBar(this);
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* back = m_pToolBar->addAction(tr("Back"), m_pBrowser, &QTextBrowser::backward);
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    connect(m_pBrowser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    QAction* forward = m_pToolBar->addAction(tr("Forward"), m_pBrowser, &QTextBrowser::forward);
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    connect(m_pBrowser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    m_pToolBar->addAction(tr("Contents"), this, [this] { ShowPage(); });
    QAction* print = m_pToolBar->addAction(tr("Print..."), this, &CHelpWindow::OnPrint);
    print->setShortcut(QKeySequence::Print);
    QAction* close = new QAction(this);
    close->setShortcuts({QKeySequence::Close, QKeySequence(Qt::Key_Escape)});
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pToolBar);
    layout->addWidget(m_pBrowser, 1);
    resize(760, 640);
}

void CHelpWindow::ShowPage(const QString& name) {
    const QUrl index = QUrl::fromLocalFile(m_strIndexPath);
    m_pBrowser->setSource(name.isEmpty() ? index : index.resolved(QUrl(name)));
}

void CHelpWindow::PrintPage(QPrinter* printer) const { m_pBrowser->document()->print(printer); }

void CHelpWindow::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Help Page"));
    if (dialog.exec() == QDialog::Accepted) PrintPage(&printer);
}
