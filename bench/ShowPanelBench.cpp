// The main window with the show panel and meters on virtual devices: the process's CPU while
// idle and with eight cues playing, how long Go takes with the panel shown and hidden, and
// (given a folder) screenshots of the window in the light and the dark theme. Prints figures;
// never fails.
//
//   marvane_show_bench DEMO_FOLDER [SCREENSHOT_FOLDER [SOUND_FILE...]]
//
// Each SOUND_FILE given is read for its waveform overview, and the time that takes is printed.

#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CSoundOutput.h"
#include "engine/WaveformCache.h"
#include "shell/CMainFrame.h"
#include "shell/CShowPanel.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Percent of one core the whole process used over `ms` of running the event loop.
double CpuPercent(int ms) {
    const double before = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    Run(ms);
    return 100.0 * (CpuSeconds() - before) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

void WaitUntilSilent(CMVView* view) {
    for (int i = 0; i < 500 && view->GetOwnedPlayerCount() > 0; ++i) Run(10);
}

// Median and worst of 20 Goes of the first cue, each killed again before the next.
void MeasureGo(CMainFrame& frame, const char* label) {
    CMVView* view = frame.GetView();
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        view->SelectRows({0}, 0);
        Run(30);
        QElapsedTimer timer;
        timer.start();
        frame.DispatchCommand(ID_AUDIO_GO, Qt::NoModifier);
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        Run(60);
        frame.DispatchCommand(ID_AUDIO_STOPALL, Qt::NoModifier);
        WaitUntilSilent(view);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("Go latency, %s: median %.2f ms, worst %.2f ms (20 Goes)\n", label, ms[10],
                ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("MARVANE_AUDIO")) qputenv("MARVANE_AUDIO", "virtual:2");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DEMO_FOLDER [SCREENSHOT_FOLDER]\n", argv[0]);
        return 2;
    }
    const QDir demo(QString::fromLocal8Bit(argv[1]));
    const QString shots = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    for (int i = 3; i < argc; ++i) {
        QElapsedTimer timer;
        timer.start();
        WaveformOverview overview;
        const bool ok =
            ComputeWaveformOverview(QByteArray(argv[i]), WaveformCache::kColumns, &overview);
        std::printf("Waveform overview of %s (%u s): %s in %.0f ms\n", argv[i],
                    overview.durationMs / 1000, ok ? "computed" : "FAILED",
                    static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    if (!theSoundOutput.Initialize()) {
        std::fprintf(stderr, "no audio output\n");
        return 1;
    }

    QTemporaryDir logs;
    CMVDoc doc;
    doc.OnNewDocument();
    const char* files[] = {"music.wav", "rain.wav", "thunder.wav", "doorbell.wav"};
    const char* names[] = {"Music bed", "Rain", "Thunder, stage left", "Doorbell"};
    for (int i = 0; i < 8; ++i) {
        CQRecord* cue = doc.AddCue(-1);
        cue->SetID(QByteArray("Q") + QByteArray::number(10 * (i + 1)));
        cue->m_strDescription = names[i % 4];
        cue->SetFilePath(demo.filePath(QString::fromLatin1(files[i % 4])).toLocal8Bit());
        cue->m_strNotes = i == 0 ? "Act 1: under the opening speech" : "";
        cue->m_dwFlags = CQRecord::kTypeBackground | CQRecord::kFlagLooped;
        cue->m_nVolume = -(i % 3) * 3;
    }
    {
        CMainFrame frame(&doc, nullptr);
        frame.SetGoLogFolder(logs.path());
        frame.GetView()->OnInitialUpdate();
        frame.resize(1280, 720);
        frame.show();
        Run(500);

        std::printf("Idle window with the show panel and meters: %.2f %% of one core\n",
                    CpuPercent(5000));
        MeasureGo(frame, "show panel shown");
        frame.DispatchCommand(ID_VIEW_SHOWPANEL);
        Run(200);
        MeasureGo(frame, "show panel hidden");
        frame.DispatchCommand(ID_VIEW_SHOWPANEL);
        Run(200);

        frame.GetView()->SelectRows({0}, 0);
        for (int i = 0; i < 8; ++i) frame.DispatchCommand(ID_AUDIO_GO, Qt::NoModifier);
        Run(1500);
        std::printf("Eight cues playing, panel and meters shown: %.2f %% of one core\n",
                    CpuPercent(5000));

        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            frame.GetView()->SelectRows({2}, 2);
            frame.DispatchCommand(ID_AUDIO_VOLDOWN, Qt::ShiftModifier);
            Run(400);
            frame.grab().save(shots + "/show-light.png");
            frame.ApplyTheme(true);
            Run(400);
            frame.grab().save(shots + "/show-dark.png");
            frame.ShowFailure(
                QStringLiteral("Cue Q90 (bell.wav) did not start: Cannot open WAV "
                               "file - please check filename and path"));
            frame.DispatchCommand(ID_AUDIO_FADEALL, Qt::ShiftModifier);
            Run(900);
            frame.grab().save(shots + "/show-dark-fadeall.png");
            frame.ApplyTheme(false);
            std::printf("Screenshots written to %s\n", qPrintable(shots));
        }
        frame.GetView()->StopAllPlayers();
    }
    theSoundOutput.ReleaseDevices();
    return 0;
}
