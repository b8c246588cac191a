// Load and save of a long cue list: 65,535 cues with typical texts. Each step runs in a fresh
// process of its own, so its peak memory is not hidden by memory an earlier step freed.
// Prints the time of each step and the memory it added; it never fails on a slow machine.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"

namespace {

constexpr int kCueCount = 65535;
constexpr int kSoundFiles = 200;

long StatusKiB(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

// CPU time of this process: on a busy machine it shows the work apart from the waiting.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

template <typename F>
void Measure(const char* what, F&& step) {
    ResetPeak();
    const long before = StatusKiB("VmRSS:");
    const double cpuStart = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    step();
    const auto end = std::chrono::steady_clock::now();
    const double cpu = CpuMs() - cpuStart;
    const double ms = std::chrono::duration<double, std::milli>(end - start).count();
    std::printf("  %-40s %7.1f ms (cpu %6.1f ms)   peak memory +%6.1f MiB\n", what, ms, cpu,
                (StatusKiB("VmHWM:") - before) / 1024.0);
}

void FillList(CMVDoc* doc, const QString& folder, bool existingFiles) {
    for (int i = 0; i < kCueCount; ++i) {
        CQRecord* cue = doc->AddCue(-1);
        const QByteArray name = "effect_" + QByteArray::number(i % kSoundFiles) + ".wav";
        cue->SetFilePath(existingFiles ? QFile::encodeName(folder) + "/" + name
                                       : "D:\\Shows\\Old Production\\Sounds\\" + name);
        cue->m_strDescription =
            "Thunder clap and rain on the roof, scene " + QByteArray::number(i / 40 + 1);
        cue->m_strNotes = "Wait for the actor to close the door; GO on the light change";
        cue->m_dwFlags = static_cast<uint32_t>(i % 4);
        cue->m_nVolume = -(i % 30);
        cue->m_nPan = (i % 201) - 100;
        cue->m_dwFadeIn = static_cast<uint32_t>((i % 10) * 250);
    }
}

// One step in this process: "encode", "save", "decode" or "open" of the list in folder. Every
// step has a process of its own: memory one step freed would hide part of the next one's peak.
int RunStep(const QString& step, const QString& folder, bool existing) {
    const QString path = folder + (existing ? "/present.MVL" : "/moved.MVL");
    QString error;
    if (step == QLatin1String("encode") || step == QLatin1String("save")) {
        CMVDoc doc;
        FillList(&doc, folder, existing);
        if (step == QLatin1String("encode")) {
            QByteArray bytes;
            Measure("encode to bytes", [&] { bytes = doc.SaveToBytes(); });
        } else {
            Measure("save (temporary file, flush, rename)",
                    [&] { doc.OnSaveDocument(path, &error); });
            std::printf("  %-40s %7.1f MiB\n", "file size", QFile(path).size() / 1048576.0);
        }
    } else if (step == QLatin1String("decode")) {
        QFile file(path);
        QByteArray bytes;
        if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
        CMVDoc decoded;
        Measure("decode from bytes", [&] {
            CueArchive ar{QByteArrayView(bytes)};
            decoded.Serialize(ar);
        });
    } else {
        CMVDoc doc;
        Measure("open (read, decode, resolve paths)", [&] { doc.OnOpenDocument(path, &error); });
        std::printf("  %-40s %7d\n", "cues read", doc.GetCueCount());
    }
    if (!error.isEmpty()) std::printf("  failed: %s\n", qPrintable(error));
    return error.isEmpty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--step")) {
        return RunStep(args[2], args[3], args[4] == QLatin1String("present"));
    }
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    for (int i = 0; i < kSoundFiles; ++i) {
        QFile file(dir.filePath(QStringLiteral("effect_%1.wav").arg(i)));
        if (file.open(QIODevice::WriteOnly)) file.write("RIFF");
    }
    std::printf("cue list of %d cues, %d distinct sound files\n", kCueCount, kSoundFiles);
    std::fflush(stdout);
    for (const char* paths : {"present", "moved"}) {
        std::printf("sound paths %s\n", paths[0] == 'p' ? "that exist"
                                                        : "of another machine (resolved into the "
                                                          "list's folder)");
        std::fflush(stdout);
        for (const char* step : {"encode", "save", "decode", "open"}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(app.applicationFilePath(), {"--step", QString::fromLatin1(step), dir.path(),
                                                    QString::fromLatin1(paths)});
            child.waitForFinished(-1);
        }
    }
    return 0;
}
