#include "view/CPlayingMarkDelegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <array>

#include "cuelist/CQRecord.h"
#include "view/CCueListModel.h"

namespace {

// The note, row by row from the top: 'Y' yellow, '.' black.
constexpr std::array<const char*, CPlayingMarkDelegate::kMarkSize> kNotePixels = {
    "............", "......YY....", "......YYY...", "......YYY...", "......Y.Y...", "......Y.....",
    "......Y.....", "......Y.....", "....YYY.....", "...YYYY.....", "...YYYY.....", "....YY......",
};

QImage MakeNoteImage() {
    QImage image(CPlayingMarkDelegate::kMarkSize, CPlayingMarkDelegate::kMarkSize,
                 QImage::Format_RGB32);
    for (int y = 0; y < CPlayingMarkDelegate::kMarkSize; ++y) {
        for (int x = 0; x < CPlayingMarkDelegate::kMarkSize; ++x) {
            image.setPixel(
                x, y,
                kNotePixels[static_cast<size_t>(y)][x] == 'Y' ? qRgb(255, 255, 0) : qRgb(0, 0, 0));
        }
    }
    return image;
}

}  // namespace

CPlayingMarkDelegate::CPlayingMarkDelegate(QHeaderView* header, QObject* parent)
    : QStyledItemDelegate(parent), m_pHeader(header) {}

const QImage& CPlayingMarkDelegate::NoteImage() {
    static const QImage image = MakeNoteImage();
    return image;
}

QPoint CPlayingMarkDelegate::MarkPosition(const QRect& cell) {
    // Integer division truncating toward zero, also for a cell narrower than the note.
    const int width = cell.width();
    return QPoint(cell.left() + (width - kMarkSize) / 2, cell.top());
}

void CPlayingMarkDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() != 0) return;
    if (m_pHeader != nullptr && m_pHeader->sectionSize(0) <= kMarkSize) return;
    // A cue the show check found a problem with: a warning sign under any playing mark.
    if (index.data(CCueListModel::kProblemRole).toBool()) {
        const QIcon warning = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        painter->drawPixmap(MarkPosition(option.rect), warning.pixmap(kMarkSize, kMarkSize));
    }
    const auto* cue =
        static_cast<const CQRecord*>(index.data(CCueListModel::kCueRole).value<void*>());
    // Workers change the play count; the row is repainted when their report arrives.
    if (cue == nullptr || cue->m_nPlayCount.load(std::memory_order_relaxed) <= 0) return;
    painter->save();
    painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter->drawImage(MarkPosition(option.rect), NoteImage());
    painter->restore();
}
