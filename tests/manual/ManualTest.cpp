#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <sstream>

#include "MarvaneVersion.h"
#include "cli/CliProcess.h"
#include "manual/Manual.h"

// The manual pages and the --help texts that come from them.

namespace {

using clitest::Result;

QStringList Words(const std::string& text) {
    return QString::fromStdString(text).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
}

// The manual page as the build wrote it (gzip-compressed).
QByteArray ManualPage(const QString& name) {
    QProcess gunzip;
    gunzip.start("gzip", {"-dc", QStringLiteral(MARVANE_BINARY_DIR "/src/manual/") + name});
    if (!gunzip.waitForFinished(10000)) return {};
    return gunzip.readAllStandardOutput();
}

}  // namespace

TEST(Manual, RoffEscapeKeepsEveryTextLiteral) {
    // A line starting with "." or "'" would be a request and vanish from the page; "-" and "\"
    // have meanings of their own.
    EXPECT_EQ(manual::RoffEscape(".mvl files"), "\\&.mvl files");
    EXPECT_EQ(manual::RoffEscape("a\n'b'"), "a\n\\&'b'");
    EXPECT_EQ(manual::RoffEscape("--max-seconds"), "\\-\\-max\\-seconds");
    EXPECT_EQ(manual::RoffEscape("D:\\Sounds"), "D:\\eSounds");
    EXPECT_EQ(manual::RoffEscape("in the .mvl"), "in the .mvl");
}

TEST(Manual, HelpTextWrapsWithinItsWidthAndLosesNoWord) {
    for (const manual::Page* page : {&manual::GuiPage(), &manual::CliPage()}) {
        const std::string text = manual::HelpText(*page, 80);
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) EXPECT_LE(line.size(), 80u) << line;

        // Every word of the page, in order: the name line, synopsis, description, sections.
        QStringList expected = Words(page->name + " - " + page->summary + " Usage:");
        for (const std::string& s : page->synopsis) expected << Words(s);
        expected << Words(page->description);
        for (const manual::Section& section : page->sections) {
            expected << Words(section.title) << Words(section.intro);
            for (const manual::Item& item : section.items) {
                expected << Words(item.term) << Words(item.text);
            }
            expected << Words(section.outro);
        }
        EXPECT_EQ(Words(text), expected) << page->name;
    }
}

TEST(Manual, ProgramsPrintTheirPageAndNameEveryOptionTheyAccept) {
    Result r = clitest::Run(clitest::kCli, {"--help"}, 30000);
    EXPECT_EQ(r.status, 0);
    const QByteArray help = r.out;
    EXPECT_EQ(help.toStdString(), manual::HelpText(manual::CliPage()));
    r = clitest::Run(clitest::kCli, {"--version"}, 30000);
    EXPECT_EQ(r.out.toStdString(), std::string("marvane-cli ") + kMarvaneVersion + "\n");

#ifdef MARVANE_GUI_PROGRAM
    // The cue player answers both before it opens any window, so without a display too.
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove("DISPLAY");
    noDisplay.remove("QT_QPA_PLATFORM");
    r = clitest::Run(MARVANE_GUI_PROGRAM, {"--help"}, 30000, noDisplay);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.toStdString(), manual::HelpText(manual::GuiPage()));
    r = clitest::Run(MARVANE_GUI_PROGRAM, {"--version"}, 30000, noDisplay);
    EXPECT_EQ(r.out.toStdString(), std::string("marvane ") + kMarvaneVersion + "\n");
#endif

    // Each command's own usage message (what a script sees after a mistake) names only options
    // that the manual explains.
    const QRegularExpression option("--[a-z-]+");
    for (const QString command :
         {"build", "render", "print", "channels", "dump", "check", "collect"}) {
        r = clitest::Run(clitest::kCli, {command, "x", "y", "z", "--no-such-option"}, 30000);
        EXPECT_NE(r.status, 0) << command.toStdString();
        EXPECT_TRUE(r.err.contains("usage: marvane-cli " + command.toUtf8()))
            << command.toStdString() << r.err.constData();
        for (const auto& match : option.globalMatch(QString::fromLocal8Bit(r.err))) {
            if (match.captured() == "--no-such-option") continue;
            EXPECT_TRUE(help.contains(match.captured().toUtf8()))
                << command.toStdString() << ": " << match.captured().toStdString();
        }
    }
}

TEST(Manual, ManualPagesCarryTheVersionAndFormatWithoutWarnings) {
    for (const manual::Page* page : {&manual::GuiPage(), &manual::CliPage()}) {
        const QString file = QString::fromStdString(page->name) + ".1.gz";
        const QByteArray roff = ManualPage(file);
        ASSERT_FALSE(roff.isEmpty()) << file.toStdString();
        EXPECT_TRUE(roff.startsWith(".TH ")) << file.toStdString();
        EXPECT_TRUE(roff.contains(QByteArray("\"Marvane ") + kMarvaneVersion + "\""));

        // man(1) formats it without a warning from groff, and every option shows.
        const QString man = QStandardPaths::findExecutable("man");
        if (man.isEmpty()) continue;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MANWIDTH", "80");
        env.insert("MAN_KEEP_FORMATTING", "");
        process.setProcessEnvironment(env);
        process.start(man, {"--warnings", "-E", "UTF-8", "-l",
                            QStringLiteral(MARVANE_BINARY_DIR "/src/manual/") + file});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.readAllStandardError(), QByteArray()) << file.toStdString();
        const QString shown = QString::fromUtf8(process.readAllStandardOutput())
                                  .replace(QRegularExpression(".\b"), "")
                                  .replace(QChar(0x2010), '-');
        for (const manual::Section& section : page->sections) {
            for (const manual::Item& item : section.items) {
                const QString first = QString::fromStdString(item.term).section(' ', 0, 0);
                EXPECT_TRUE(shown.contains(first)) << file.toStdString() << ": " << item.term;
            }
        }
    }
}
