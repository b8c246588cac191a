// Opening a long cue list in the view: how long until the list is shown and answers, and what
// scrolling, selecting and repainting cost with every row present. Prints figures; never fails.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "view/CMVView.h"

namespace {

double Ms(QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;

    QTemporaryDir dir;
    const QString path = dir.filePath("long.mvl");
    {
        CMVDoc doc;
        doc.OnNewDocument();
        for (int i = 0; i < count; ++i) {
            CQRecord* cue = doc.AddCue(-1);
            cue->m_strDescription = "Cue description " + QByteArray::number(i);
            cue->SetFilePath("sounds/effect" + QByteArray::number(i % 50) + ".wav");
            cue->m_strNotes = "Notes for the operator";
            cue->m_nVolume = -(i % 20);
            cue->m_nPan = (i % 201) - 100;
            cue->m_dwFlags = static_cast<uint32_t>(i % 4);
        }
        QString error;
        if (!doc.OnSaveDocument(path, &error)) {
            std::printf("could not save the list: %s\n", qPrintable(error));
            return 0;
        }
    }

    CMVDoc doc;
    CMVView view(&doc);
    view.resize(1200, 800);
    view.show();
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    QString error;
    doc.OnOpenDocument(path, &error);
    const double loadMs = Ms(timer);
    view.OnInitialUpdate();
    view.repaint();
    QApplication::processEvents();
    const double shownMs = Ms(timer);
    std::printf("open %d cues: file read %.1f ms, shown and responsive %.1f ms (rows %d)\n", count,
                loadMs, shownMs, view.GetRowCount());

    timer.restart();
    for (int i = 0; i < 100; ++i) {
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() * i / 99);
        view.repaint();
    }
    std::printf("scroll through the list, 100 repaints: %.2f ms each\n", Ms(timer) / 100);

    timer.restart();
    view.selectAll();
    view.repaint();
    const double selectAllMs = Ms(timer);
    timer.restart();
    const QList<int> rows = view.GetSelectedRows();
    const double readSelMs = Ms(timer);
    std::printf("select all: %.1f ms; read %lld selected rows: %.1f ms\n", selectAllMs, rows.size(),
                readSelMs);

    timer.restart();
    for (int i = 0; i < 100; ++i) view.SelectCueGroup((i * 97) % count);
    std::printf("highlight a group, 100 times: %.2f ms each\n", Ms(timer) / 100);

    timer.restart();
    for (int i = 0; i < 100; ++i) {
        view.InvalidateCueRow(count - 1 - i);
        view.FindRow(doc.GetCue(count - 1 - i));
    }
    QApplication::processEvents();
    std::printf("find and repaint a row near the end, 100 times: %.3f ms each\n", Ms(timer) / 100);

    // With a file name after the count: a picture of the top of the list, two cues sounding.
    if (argc > 2) {
        view.verticalScrollBar()->setValue(0);
        view.SelectRows({2}, 2);
        doc.GetCue(0)->m_nPlayCount = 1;
        doc.GetCue(2)->m_nPlayCount = 1;
        view.InvalidateCueRow(0);
        view.InvalidateCueRow(2);
        QApplication::processEvents();
        view.grab().save(QString::fromLocal8Bit(argv[2]));
        doc.GetCue(0)->m_nPlayCount = 0;
        doc.GetCue(2)->m_nPlayCount = 0;
    }

    timer.restart();
    doc.OnNewDocument();
    QApplication::processEvents();
    std::printf("close the list (new document): %.1f ms\n", Ms(timer));
    return 0;
}
