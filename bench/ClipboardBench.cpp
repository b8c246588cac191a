// Copy and paste of a long run of cues in the cue list view: how long until the list answers
// again after each command (the command itself, the events it caused and one repaint). Prints
// figures; never fails. Usage: marvane_clipboard_bench [cues] (10000 by default).

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/CueClipboard.h"

namespace {

double Ms(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

void FillDoc(CMVDoc& doc, int count, const QByteArray& prefix) {
    doc.OnNewDocument();
    for (int i = 0; i < count; ++i) {
        CQRecord* cue = doc.AddCue(-1);
        cue->SetID(prefix + QByteArray::number(i));
        cue->m_strDescription = "Cue description " + QByteArray::number(i);
        cue->SetFilePath("/show/sounds/effect" + QByteArray::number(i % 50) + ".wav");
        cue->m_strNotes = "Notes for the operator";
        cue->m_nVolume = -(i % 20);
        cue->m_dwFlags = static_cast<uint32_t>(i % 4);
    }
}

// Runs one command and waits until the list has handled what it caused and painted once.
double TimeCommand(CMVView& view, int id) {
    QElapsedTimer timer;
    timer.start();
    view.OnCmdMsg(id, Qt::NoModifier);
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    return Ms(timer);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;

    CMVDoc source;
    FillDoc(source, count, "S");
    CMVView sourceView(&source);
    sourceView.resize(1200, 800);
    sourceView.show();
    QCoreApplication::processEvents();

    sourceView.selectAll();
    const double copyMs = TimeCommand(sourceView, ID_EDIT_COPY);
    const qsizetype bytes = CueClipboard::Fetch().value_or(QByteArray()).size();
    std::printf("copy of %d cues: %.1f ms (payload %lld bytes)\n", count, copyMs,
                static_cast<long long>(bytes));

    struct Case {
        const char* what;
        int targetRows;
        int selectRow;  // -1: nothing selected (append); -2: the middle row
    };
    const Case cases[] = {{"into an empty list", 0, -1},
                          {"appended to a list of the same length", count, -1},
                          {"before the first row of that list", count, 0},
                          {"before the middle row of that list", count, -2}};
    for (const Case& c : cases) {
        CMVDoc target;
        FillDoc(target, c.targetRows, "T");
        CMVView view(&target);
        view.resize(1200, 800);
        view.show();
        QCoreApplication::processEvents();
        const int row = c.selectRow == -2 ? view.GetRowCount() / 2 : c.selectRow;
        if (row >= 0) view.SelectRows({row}, row);
        const double pasteMs = TimeCommand(view, ID_EDIT_PASTE);
        std::printf("paste of %d cues %s: %.1f ms (%d rows)\n", count, c.what, pasteMs,
                    view.GetRowCount());
    }
    std::printf("target: under 500 ms each\n");
    return 0;
}
