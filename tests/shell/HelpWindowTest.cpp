#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPrinter>
#include <QRegularExpression>
#include <QSet>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "engine/CSoundOutput.h"
#include "shell/CHelpWindow.h"
#include "shell/CMainFrame.h"
#include "shell/HelpPages.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"

// The user guide: it opens in the program's own window, and what it says matches the program.

namespace {

const QString kHelpFolder = QStringLiteral(MARVANE_SOURCE_DIR "/res/help");

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList Pages() { return QDir(kHelpFolder).entryList({"*.html"}, QDir::Files); }

class HelpWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    void SetUp() override {
        m_doc.OnNewDocument();
        mvhelp::UseHelpIndex(kHelpFolder + "/index.html");
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon, QMessageBox::StandardButtons) {
                m_messages << text;
                return int(QMessageBox::Ok);
            });
        m_frame = std::make_unique<CMainFrame>(&m_doc, nullptr);
        m_frame->show();
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    }
    void TearDown() override {
        m_frame.reset();
        mvhelp::UseHelpIndex(QString());
        mvui::SetMessageHandlerForTesting({});
    }

    CMVDoc m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    QStringList m_messages;
};

}  // namespace

TEST_F(HelpWindowTest, F1OpensTheGuideInTheProgramsOwnWindowAndRaisesItAgain) {
    // No browser is involved: the frame's key opens a window of its own on the contents page.
    QTest::keyClick(m_frame.get(), Qt::Key_F1);
    CHelpWindow* help = m_frame->GetHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Marvane Help");
    EXPECT_EQ(help->GetBrowser()->source().fileName(), "index.html");

    // A link to another page opens it there, and the title follows; Help again brings back the
    // same window on the contents page.
    help->ShowPage("keys.html");
    EXPECT_EQ(help->windowTitle(), "Keys - Marvane Help");
    help->close();
    m_frame->DispatchCommand(ID_HELP_FINDER);
    EXPECT_EQ(m_frame->GetHelpWindow(), help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->GetBrowser()->source().fileName(), "index.html");
}

TEST_F(HelpWindowTest, EveryLinkAndPictureOfTheGuideIsThereAndEveryPageHasAScreenshot) {
    const QRegularExpression link(R"((href|src)="([^"#:]*)(#[^"]*)?")");
    ASSERT_GE(Pages().size(), 9);
    for (const QString& page : Pages()) {
        const QString html = ReadText(kHelpFolder + "/" + page);
        EXPECT_TRUE(html.contains("<img src=\"images/")) << page.toStdString();
        for (const auto& m : link.globalMatch(html)) {
            if (m.captured(2).isEmpty()) continue;
            EXPECT_TRUE(QFile::exists(kHelpFolder + "/" + m.captured(2)))
                << page.toStdString() << ": " << m.captured(2).toStdString();
        }
        // Each page names itself in its title, as the help window's caption shows it.
        EXPECT_TRUE(html.contains(QRegularExpression("<title>[^<]*Marvane Help</title>")))
            << page.toStdString();
    }
}

TEST_F(HelpWindowTest, TheTableOfKeysListsExactlyTheKeysTheMainWindowAnswers) {
    // The keys as the guide writes them: "Enter" for Return, and the number pad's keys as the
    // others ("Num+Enter" is Enter, "Ctrl+Num++" is Ctrl++).
    QSet<QString> answered;
    for (const QShortcut* shortcut : m_frame->findChildren<QShortcut*>()) {
        QString key = shortcut->key().toString(QKeySequence::PortableText);
        key.remove("Num+");
        if (key == "Return") key = "Enter";
        answered.insert(key);
    }
    QSet<QString> documented;
    const QString html = ReadText(kHelpFolder + "/keys.html");
    const int start = html.indexOf("<table id=\"keys\"");
    ASSERT_GE(start, 0);
    const QString table = html.mid(start, html.indexOf("</table>", start) - start);
    for (const auto& m : QRegularExpression("<kbd>([^<]+)</kbd>").globalMatch(table)) {
        documented.insert(m.captured(1));
    }
    EXPECT_EQ(documented - answered, QSet<QString>()) << "in the guide, not in the program";
    EXPECT_EQ(answered - documented, QSet<QString>()) << "in the program, not in the guide";
}

TEST_F(HelpWindowTest, APagePrintsAsItShows) {
    QTemporaryDir dir;
    m_frame->DispatchCommand(ID_HELP);
    CHelpWindow* help = m_frame->GetHelpWindow();
    ASSERT_NE(help, nullptr);
    help->ShowPage("show.html");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("show.pdf"));
    help->PrintPage(&printer);
    QFile pdf(dir.filePath("show.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Type /Page"));
}
