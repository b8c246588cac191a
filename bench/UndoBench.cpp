// Undo and redo of a 10,000-cue paste and delete, and the time the UI thread spends on one
// autosave of a 65,535-cue list (the writing thread's time beside it). Prints figures only.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "shell/CAutoSaver.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/CueClipboard.h"

namespace {

double Ms(QElapsedTimer& clock) { return clock.nsecsElapsed() / 1e6; }

void Fill(CMVDoc& doc, int n) {
    for (int i = 0; i < n; ++i) {
        CQRecord* cue = doc.AddCue(-1);
        cue->m_strDescription = "Cue description " + QByteArray::number(i);
        cue->m_strPath = "sounds/effect" + QByteArray::number(i % 500) + ".wav";
        cue->m_strNotes = "stand by";
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

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
    for (int round = 0; round < 3; ++round) {
        clock.restart();
        view.OnCmdMsg(ID_EDIT_UNDO);
        const double undo = Ms(clock);
        clock.restart();
        view.OnCmdMsg(ID_EDIT_REDO);
        std::printf("undo / redo paste of 10000:   %8.2f / %8.2f ms\n", undo, Ms(clock));
    }
    QList<int> rows;
    for (int r = 500; r < 10500; ++r) rows.append(r);
    view.SelectRows(rows, 500);
    clock.restart();
    view.OnCmdMsg(ID_EDIT_CLEAR);
    std::printf("delete 10000 cues:            %8.2f ms\n", Ms(clock));
    for (int round = 0; round < 3; ++round) {
        clock.restart();
        view.OnCmdMsg(ID_EDIT_UNDO);
        const double undo = Ms(clock);
        clock.restart();
        view.OnCmdMsg(ID_EDIT_REDO);
        std::printf("undo / redo delete of 10000:  %8.2f / %8.2f ms\n", undo, Ms(clock));
    }

    QTemporaryDir dir;
    CMVDoc big;
    Fill(big, 65535);
    CAutoSaver saver(&big, nullptr, dir.filePath("recovery"));
    for (int round = 0; round < 5; ++round) {
        clock.restart();
        saver.WriteNow();
        const double ui = Ms(clock);
        saver.WaitUntilWritten(60000);
        std::printf(
            "autosave of 65535 cues: UI thread %6.2f ms (snapshot %6.2f ms), whole "
            "write %8.2f ms\n",
            ui, saver.GetLastSnapshotNs() / 1e6, Ms(clock));
    }
    saver.DiscardCopy();
    return 0;
}
