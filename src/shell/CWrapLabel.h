#pragma once

#include <QString>
#include <QWidget>

// A plain-text label for narrow places: it wraps at word boundaries and, where one word is wider
// than the label, inside the word, so nothing is ever cut off at the side; with a line limit the
// last line ends in "…" when more text would follow. Its height follows its width. UI thread.
class CWrapLabel : public QWidget {
    Q_OBJECT

public:
    explicit CWrapLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    void clear() { setText(QString()); }
    // 0: as many lines as the text needs.
    void SetMaxLines(int lines);

    // The lines the text takes at `width` pixels, as drawn (the last one elided if cut).
    QStringList LinesAt(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QStringList ComputeLines(int width) const;

    QString m_text;
    int m_maxLines = 0;
    // The last lines worked out, for the width they were worked out for (-1: none): layouts
    // and paints ask for the same width again and again.
    mutable int m_linesWidth = -1;
    mutable QStringList m_lines;
};
