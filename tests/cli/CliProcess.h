#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs marvane-cli (or a tool that reads its output back) as a script would, and collects what
// it printed.
namespace clitest {

inline const QString kCli = QStringLiteral(MARVANE_BINARY_DIR "/src/cli/marvane-cli");

struct Result {
    int status = -1;  // the exit code; -1 when the program crashed or did not end in time
    QByteArray out;
    QByteArray err;
};

inline Result Run(const QString& program, const QStringList& args, int timeoutMs,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    Result result;
    if (!process.waitForFinished(timeoutMs)) return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

}  // namespace clitest
