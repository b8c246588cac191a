// The main window with the show panel and meters on virtual devices: the process's CPU while
// idle and with eight cues playing, how long Go takes with the panel shown and hidden and while
// a long file's waveform overview is being computed, and (given a folder) screenshots of the
// window in the light and the dark theme, narrow, and during Fade All. Prints figures; never
// fails.
//
//   marvane_show_bench DEMO_FOLDER [SCREENSHOT_FOLDER [SOUND_FILE...]]
//
// Each SOUND_FILE given is read for its waveform overview, and the time that takes is printed.
// The first one is the file whose overview is computed while Goes are timed; without any, a
// 10-minute WAV file is made for it.

#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CSoundOutput.h"
#include "engine/WaveformCache.h"
#include "platform/media/WaveHeader.h"
#include "shell/CMainFrame.h"
#include "shell/CPositionBar.h"
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

// Keeps a waveform overview of `path` being computed, by the cache's own background thread as
// the program's is: whenever one is done, a fresh cache (knowing nothing) is asked again.
class BusyOverviews {
public:
    explicit BusyOverviews(QByteArray path) : m_path(std::move(path)) {}
    // Before a Go: whether an overview is being computed now.
    bool Keep() {
        if (!m_cache || m_cache->WaitUntilIdle(0)) {
            m_cache = std::make_unique<WaveformCache>();
            m_cache->Request(m_path);
            ++m_started;
        }
        return !m_cache->WaitUntilIdle(0);
    }
    int GetStarted() const { return m_started; }

private:
    QByteArray m_path;
    std::unique_ptr<WaveformCache> m_cache;
    int m_started = 0;
};

// 20 Goes of the first cue, each killed again before the next; the times in ms are appended to
// `ms`. With `busy`, an overview is computed meanwhile; the Goes it overlapped are counted.
void MeasureGo(CMainFrame& frame, std::vector<double>& ms, BusyOverviews* busy = nullptr,
               int* overlapped = nullptr) {
    CMVView* view = frame.GetView();
    for (int i = 0; i < 20; ++i) {
        view->SelectRows({0}, 0);
        Run(30);
        if (busy && busy->Keep() && overlapped) ++*overlapped;
        QElapsedTimer timer;
        timer.start();
        frame.DispatchCommand(ID_AUDIO_GO, Qt::NoModifier);
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        Run(60);
        frame.DispatchCommand(ID_AUDIO_STOPALL, Qt::NoModifier);
        WaitUntilSilent(view);
    }
}

// The position bar four times its size: the waveform and the thumb, close up.
void SaveBar(CMainFrame& frame, const QString& path) {
    const QPixmap bar = frame.GetPositionBar()->grab();
    bar.scaled(bar.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(path);
}

double Median(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0.0 : ms[ms.size() / 2];
}

void PrintGo(const std::vector<double>& ms, const char* label) {
    std::printf("Go latency, %s: median %.2f ms, worst %.2f ms (%zu Goes)\n", label, Median(ms),
                ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()), ms.size());
}

// A 10-minute stereo WAV file of a slowly swelling tone, for the overview to chew on.
bool MakeLongWav(const QString& path) {
    constexpr uint32_t kRate = 44100;
    constexpr uint32_t kFrames = kRate * 600;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const auto header = PcmWaveHeader(2, kRate, 16, kFrames * 4);
    file.write(header.data(), static_cast<qint64>(header.size()));
    std::vector<int16_t> block(2 * kRate);
    for (uint32_t second = 0; second < kFrames / kRate; ++second) {
        for (uint32_t i = 0; i < kRate; ++i) {
            const double level = 0.2 + 0.7 * std::fabs(std::sin(second / 20.0));
            const auto v =
                static_cast<int16_t>(32767 * level * std::sin(2 * M_PI * 220.0 * i / kRate));
            block[2 * i] = v;
            block[2 * i + 1] = v;
        }
        file.write(reinterpret_cast<const char*>(block.data()),
                   static_cast<qint64>(block.size() * sizeof(int16_t)));
    }
    return file.error() == QFileDevice::NoError;
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
    QByteArray longFile = argc > 3 ? QByteArray(argv[3]) : QByteArray();
    if (longFile.isEmpty()) {
        const QString made = logs.filePath(QStringLiteral("ten-minutes.wav"));
        if (MakeLongWav(made)) longFile = made.toLocal8Bit();
    }
    CMVDoc doc;
    doc.OnNewDocument();
    const char* files[] = {"music.wav", "rain.wav", "thunder.wav", "doorbell.wav"};
    const char* names[] = {"Music bed", "Rain on the conservatory roof, building to the storm",
                           "Thunder, stage left", "Doorbell"};
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
        std::vector<double> shown;
        MeasureGo(frame, shown);
        PrintGo(shown, "show panel shown");
        std::vector<double> hidden;
        frame.DispatchCommand(ID_VIEW_SHOWPANEL);
        Run(200);
        MeasureGo(frame, hidden);
        PrintGo(hidden, "show panel hidden");
        frame.DispatchCommand(ID_VIEW_SHOWPANEL);
        Run(200);

        if (!longFile.isEmpty()) {
            // Rounds with and without an overview alternate, so that the machine's other load
            // falls on both alike.
            BusyOverviews busy(longFile);
            std::vector<double> quiet;
            std::vector<double> computing;
            int overlapped = 0;
            for (int round = 0; round < 3; ++round) {
                MeasureGo(frame, quiet);
                MeasureGo(frame, computing, &busy, &overlapped);
            }
            PrintGo(quiet, "no overview computing");
            PrintGo(computing, "an overview computing");
            std::printf(
                "  %d of %zu Goes overlapped an overview of %s (%d overviews started); "
                "median difference %+.2f ms\n",
                overlapped, computing.size(), longFile.constData(), busy.GetStarted(),
                Median(computing) - Median(quiet));
        }

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
            SaveBar(frame, shots + "/bar-light.png");
            frame.ApplyTheme(true);
            Run(400);
            frame.grab().save(shots + "/show-dark.png");
            SaveBar(frame, shots + "/bar-dark.png");
            // An operator's laptop beside the desk: a window under 1,000 pixels wide.
            frame.resize(900, 640);
            frame.GetView()->SelectRows({1}, 1);
            Run(400);
            frame.grab().save(shots + "/show-narrow-dark.png");
            frame.ApplyTheme(false);
            Run(400);
            frame.grab().save(shots + "/show-narrow-light.png");
            frame.ApplyTheme(true);
            frame.resize(1280, 720);
            Run(400);
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
