// Editing commands of the cue list view: add, edit, delete, dropped files and row drag.

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPainter>

#include "view/CMVView.h"

void CMVView::OnAddCue() {}

void CMVView::OnEditCue() {}

void CMVView::OnEditClear() { RemoveSelectedCues(); }

void CMVView::RemoveSelectedCues() {}

bool CMVView::OnUpdateAddCue() const { return true; }

bool CMVView::OnUpdateEditCue() const {
    return GetSelectedRows().size() == 1 && GetCurrentPlayer() == nullptr;
}

bool CMVView::OnUpdateEditClear() const { return HasSelection() && GetCurrentPlayer() == nullptr; }

void CMVView::OnDropFiles(const QStringList& paths, const QPoint& pos) {
    Q_UNUSED(paths);
    Q_UNUSED(pos);
}

void CMVView::mousePressEvent(QMouseEvent* event) { QTableView::mousePressEvent(event); }

void CMVView::mouseMoveEvent(QMouseEvent* event) { QTableView::mouseMoveEvent(event); }

void CMVView::mouseReleaseEvent(QMouseEvent* event) { QTableView::mouseReleaseEvent(event); }

void CMVView::dragEnterEvent(QDragEnterEvent* event) { QTableView::dragEnterEvent(event); }

void CMVView::dragMoveEvent(QDragMoveEvent* event) { QTableView::dragMoveEvent(event); }

void CMVView::dragLeaveEvent(QDragLeaveEvent* event) { QTableView::dragLeaveEvent(event); }

void CMVView::dropEvent(QDropEvent* event) { QTableView::dropEvent(event); }

void CMVView::PaintDropGap(QPainter& painter) { Q_UNUSED(painter); }
