#include "shell/CWrapLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

CWrapLabel::CWrapLabel(QWidget* parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CWrapLabel::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    m_linesWidth = -1;
    updateGeometry();
    update();
}

void CWrapLabel::SetMaxLines(int lines) {
    m_maxLines = std::max(0, lines);
    m_linesWidth = -1;
    updateGeometry();
    update();
}

QStringList CWrapLabel::LinesAt(int width) const {
    if (width != m_linesWidth) {
        m_lines = ComputeLines(width);
        m_linesWidth = width;
    }
    return m_lines;
}

QStringList CWrapLabel::ComputeLines(int width) const {
    QStringList lines;
    if (m_text.isEmpty()) return lines;
    width = std::max(1, width);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Each paragraph starts a line of its own. With a line limit, `rest` is the text from the
    // last line shown on, when more follows than that line holds.
    const QStringList paragraphs = m_text.split(QLatin1Char('\n'));
    QString rest;
    for (qsizetype p = 0; p < paragraphs.size() && rest.isEmpty(); ++p) {
        const QString& paragraph = paragraphs[p];
        const auto restFrom = [&](qsizetype start) {
            QStringList remaining{paragraph.mid(start)};
            remaining += paragraphs.mid(p + 1);
            return remaining.join(QLatin1Char(' ')).trimmed();
        };
        // The limit reached before this paragraph: the last line shown goes on with it.
        const auto restAfterLast = [&] {
            return (lines.last() + QLatin1Char(' ') + restFrom(0)).trimmed();
        };
        if (paragraph.isEmpty()) {
            if (m_maxLines > 0 && lines.size() == m_maxLines) {
                rest = restAfterLast();
                break;
            }
            lines.append(QString());
            continue;
        }
        QTextLayout layout(paragraph, font());
        layout.setTextOption(option);
        layout.beginLayout();
        qsizetype lastStart = -1;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (m_maxLines > 0 && lines.size() == m_maxLines) {
                rest = lastStart < 0 ? restAfterLast() : restFrom(lastStart);
                break;
            }
            lastStart = line.textStart();
            lines.append(paragraph.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
    }
    if (!rest.isEmpty() && !lines.isEmpty())
        lines.last() = QFontMetrics(font()).elidedText(rest, Qt::ElideRight, width);
    return lines;
}

int CWrapLabel::heightForWidth(int width) const {
    const int count = static_cast<int>(LinesAt(width).size());
    return count == 0 ? 0 : count * QFontMetrics(font()).lineSpacing();
}

QSize CWrapLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    const int width = std::min(metrics.horizontalAdvance(m_text.section(QLatin1Char('\n'), 0, 0)),
                               40 * metrics.averageCharWidth());
    return {width, heightForWidth(width)};
}

QSize CWrapLabel::minimumSizeHint() const {
    return {0, m_text.isEmpty() ? 0 : fontMetrics().lineSpacing()};
}

void CWrapLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const QFontMetrics metrics(font());
    int y = 0;
    for (const QString& line : LinesAt(width())) {
        painter.drawText(QRect(0, y, width(), metrics.lineSpacing()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
        y += metrics.lineSpacing();
    }
}

void CWrapLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_linesWidth = -1;
        updateGeometry();
    }
    QWidget::changeEvent(event);
}
