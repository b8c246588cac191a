#pragma once

// A JACK dummy server of the tests' and benchmarks' own, run as a child process and stopped
// gracefully when it goes. It becomes $JACK_DEFAULT_SERVER for every client of this process,
// and no client may start a server of its own. Give a fixed name, so that one left over by an
// interrupted run is replaced rather than added to the few servers a machine may register.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class JackServer {
public:
    JackServer(QString name, QStringList driverArguments)
        : m_name(std::move(name)), m_arguments(std::move(driverArguments)) {
        qputenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit());
        qputenv("JACK_NO_START_SERVER", "1");
    }
    ~JackServer() { Stop(); }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Starts jackd without waiting for it to answer.
    bool Launch() {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start("jackd",
                        QStringList{"--no-realtime", "-n", m_name, "-d", "dummy"} + m_arguments);
        return m_process.waitForStarted(5000);
    }
    // Starts jackd and waits until it answers.
    bool Start() {
        if (!Launch()) return false;
        QProcess wait;
        wait.start("jack_wait", {"-s", m_name, "-w", "-t", "10"});
        return wait.waitForFinished(15000) && wait.exitCode() == 0;
    }
    // As a crash or `kill -9` would.
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void Stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) Kill();
    }

private:
    QString m_name;
    QStringList m_arguments;
    QProcess m_process;
};
