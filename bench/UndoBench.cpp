// Undo and redo of a 10,000-cue paste and delete; the time the UI thread spends on each autosave
// of a 65,535-cue list edited between autosaves (the writing thread's time beside it); and Go
// latency while such an autosave is being written, beside Go latency without one. Prints
// figures only.
// usage: marvane_undo_bench [--autosaves N] [--gos N]
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "GoLatency.h"
#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "engine/CSoundOutput.h"
#include "shell/CAutoSaver.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/CueClipboard.h"

namespace {

double Ms(QElapsedTimer& clock) { return clock.nsecsElapsed() / 1e6; }

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// "median M ms, worst W ms" of `ms`.
void PrintSpread(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s: median %6.2f ms, worst %6.2f ms (%zu runs)\n", what, ms[ms.size() / 2],
                ms.back(), ms.size());
}

void Fill(CMVDoc& doc, int n) {
    for (int i = 0; i < n; ++i) {
        CQRecord* cue = doc.AddCue(-1);
        cue->m_strDescription = "Cue description " + QByteArray::number(i);
        cue->m_strPath = "sounds/effect" + QByteArray::number(i % 500) + ".wav";
        cue->m_strNotes = "stand by";
    }
}

// Undoes and redoes, three times, the edit just made.
void TimeUndoRedo(CMVView& view, const char* what) {
    QElapsedTimer clock;
    for (int round = 0; round < 3; ++round) {
        clock.start();
        view.OnCmdMsg(ID_EDIT_UNDO);
        const double undo = Ms(clock);
        clock.restart();
        view.OnCmdMsg(ID_EDIT_REDO);
        std::printf("undo / redo %-18s %8.2f / %8.2f ms\n", what, undo, Ms(clock));
    }
}

void BenchUndo() {
    CMVDoc doc;
    Fill(doc, 1000);
    CMVView view(&doc);
    view.resize(900, 600);
    view.show();
    CMVDoc source;
    Fill(source, 10000);
    CueClipboard::Place(CueClipboard::PadToBlocks(CueArchive::EncodeCueArray(source.GetCues())));
    view.SelectRows({500}, 500);
    QElapsedTimer clock;
    clock.start();
    view.OnCmdMsg(ID_EDIT_PASTE);
    std::printf("paste 10000 cues into 1000:   %8.2f ms\n", Ms(clock));
    TimeUndoRedo(view, "paste of 10000:");
    QList<int> rows;
    for (int r = 500; r < 10500; ++r) rows.append(r);
    view.SelectRows(rows, 500);
    clock.restart();
    view.OnCmdMsg(ID_EDIT_CLEAR);
    std::printf("delete 10000 cues:            %8.2f ms\n", Ms(clock));
    TimeUndoRedo(view, "delete of 10000:");
}

// One edit of the list, as an operator makes them between autosaves: by turns a changed field,
// an added cue, a removed cue and a moved cue, each somewhere else in the list.
void Edit(CMVDoc& doc, int round) {
    const int at = static_cast<int>((round * 7919LL) % doc.GetCueCount());
    switch (round % 4) {
        case 0:
            doc.GetCue(at)->m_strDescription = "edited " + QByteArray::number(round);
            doc.SetModifiedFlag();
            break;
        case 1:
            doc.AddCue(at);
            break;
        case 2:
            doc.DeleteCue(at);
            doc.SetModifiedFlag();
            break;
        default:
            doc.MoveCue(at, (at + 5000) % doc.GetCueCount());
            break;
    }
}

void BenchAutosave(CMVDoc& big, CAutoSaver& saver, int autosaves) {
    std::vector<double> longest;
    std::vector<double> steps;
    std::vector<double> cpu;
    std::vector<double> whole;
    size_t copied = 0;
    for (int round = 0; round < autosaves; ++round) {
        Edit(big, round);
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = ThreadCpuMs();
        saver.WriteNow();
        // The steps come between other events, as in the program.
        while (saver.IsSnapshotting()) QCoreApplication::processEvents();
        cpu.push_back(ThreadCpuMs() - cpu0);
        longest.push_back(saver.GetLastLongestStepNs() / 1e6);
        steps.push_back(saver.GetLastSnapshotNs() / 1e6);
        copied = std::max(copied, saver.GetLastCopiedCues());
        saver.WaitUntilWritten(60000);
        whole.push_back(Ms(clock));
    }
    std::printf("autosave of %d cues, one edit before each (at most %zu cues copied):\n",
                big.GetCueCount(), copied);
    PrintSpread("  UI thread, longest step (wall clock)", longest);
    PrintSpread("  UI thread, all steps (wall clock)   ", steps);
    PrintSpread("  UI thread, CPU time for the snapshot", cpu);
    PrintSpread("  whole write                         ", whole);
}

void BenchGoDuringAutosave(CMVDoc& big, CAutoSaver& saver, int gos) {
    QTemporaryDir dir;
    CQRecord cue;
    cue.m_strPath = bench::WriteToneWav(dir.filePath("go.wav"), 44100 * 2, 44100);
    CSoundOutput output;
    bench::ProbeDevice* probe = bench::InitializeProbe(output);
    int overlapped = 0;
    // Turn 0 goes while an autosave is written, turn 1 with none; they alternate.
    const auto ms = bench::TimeGos(output, *probe, {&cue, &cue}, gos, [&](int run, size_t turn) {
        saver.WaitUntilWritten(60000);
        if (turn != 0) return;
        Edit(big, run);
        saver.WriteNow();
        // Somewhere in the first part of the write (it takes tens of milliseconds).
        std::this_thread::sleep_for(std::chrono::milliseconds(run % 8));
        if (!saver.WaitUntilWritten(0)) ++overlapped;
    });
    std::printf("Go latency (constructor to first sound out of the mixer), %d cues in the list:\n",
                big.GetCueCount());
    PrintSpread("  while an autosave is written", ms[0]);
    PrintSpread("  without autosave            ", ms[1]);
    std::printf("  (%d of %d Go's started while the write was still running)\n", overlapped, gos);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int autosaves = 20;
    int gos = 40;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--autosaves") == 0) autosaves = std::max(1, std::atoi(argv[++i]));
        if (std::strcmp(argv[i], "--gos") == 0) gos = std::max(1, std::atoi(argv[++i]));
    }

    BenchUndo();

    QTemporaryDir dir;
    CMVDoc big;
    Fill(big, 65535);
    QElapsedTimer clock;
    clock.start();
    CAutoSaver saver(&big, nullptr, dir.filePath("recovery"));
    std::printf("autosave: first look at the %d cues (when a list is opened): %.2f ms\n",
                big.GetCueCount(), Ms(clock));
    BenchAutosave(big, saver, autosaves);
    BenchGoDuringAutosave(big, saver, gos);
    saver.DiscardCopy();
    saver.WaitUntilWritten(60000);
    return 0;
}
