#pragma once

#include <QImage>
#include <QStyledItemDelegate>

class QHeaderView;

// Draws the cells of the cue list and, over column 0 of a sounding cue, the playing mark: a
// 12 x 12 eighth note combined with the row's pixels by exclusive or, so black leaves the row
// as drawn and the yellow note shows in the complement of the row's colour. Nothing is marked
// while column 0 is 12 pixels wide or narrower. UI thread only.
class CPlayingMarkDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kMarkSize = 12;

    CPlayingMarkDelegate(QHeaderView* header, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The note: yellow (255, 255, 0) on black, 12 x 12 pixels.
    static const QImage& NoteImage();
    // Where the note goes in a column-0 cell: centred across, at the top.
    static QPoint MarkPosition(const QRect& cell);

private:
    QHeaderView* m_pHeader;
};
