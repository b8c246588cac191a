#include "shell/CPositionBar.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

#include "engine/WaveformCache.h"

namespace {

// Width and height of the trackbar: 204 by 11 dialog units of an 8-point dialog font.
constexpr int kSliderWidth = 306;
constexpr int kBarHeight = 22;

// A click in the trackbar's channel moves the thumb by a page toward the click (it does not jump
// to the click), whatever the desktop style would do.
class CChannelPageStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons) return Qt::NoButton;
        if (hint == QStyle::SH_Slider_PageSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

bool IsTrackbarKey(int key) {
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
    }
}

}  // namespace

CPositionBar::CPositionBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PositionBar"));
    m_pSlider = new QSlider(Qt::Horizontal, this);
    m_pSlider->setObjectName(QStringLiteral("PositionSlider"));
    auto* style = new CChannelPageStyle;
    style->setParent(m_pSlider);
    m_pSlider->setStyle(style);
    m_pSlider->setTickPosition(QSlider::NoTicks);
    m_pSlider->setFocusPolicy(Qt::StrongFocus);
    m_pSlider->setFixedWidth(kSliderWidth);
    m_pSlider->setToolTip(tr("Play position"));
    m_pSlider->installEventFilter(this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 1);
    layout->addWidget(m_pSlider);
    setFixedHeight(kBarHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    connect(m_pSlider, &QAbstractSlider::actionTriggered, this, &CPositionBar::OnActionTriggered);
}

CPositionBar::~CPositionBar() = default;

void CPositionBar::OnActionTriggered(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            Notify(kLineDown);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            Notify(kLineUp);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            Notify(kPageDown);
            break;
        case QAbstractSlider::SliderPageStepSub:
            Notify(kPageUp);
            break;
        case QAbstractSlider::SliderToMinimum:
            Notify(kTop);
            break;
        case QAbstractSlider::SliderToMaximum:
            Notify(kBottom);
            break;
        case QAbstractSlider::SliderMove:
            if (m_bInWheel) {
                // A notch of the wheel moves the thumb by lines, as the arrow keys do.
                m_bWheelMoved = true;
                Notify(m_pSlider->sliderPosition() < m_pSlider->value() ? kLineUp : kLineDown);
                break;
            }
            m_bThumbDragged = true;
            Notify(kThumbTrack);
            break;
        default:
            break;
    }
}

void CPositionBar::SetOverview(std::shared_ptr<const WaveformOverview> overview) {
    if (overview == m_overview) return;
    m_overview = std::move(overview);
    // Quiet files are drawn as high as loud ones: the shape is what the operator reads.
    m_overviewPeak = 1;
    if (m_overview)
        for (uint8_t column : m_overview->columns)
            m_overviewPeak = std::max<int>(m_overviewPeak, column);
    m_pSlider->update();
}

bool CPositionBar::PaintOverview() {
    // With a waveform the trackbar is drawn here: a well in the base colour, the waveform over
    // the whole travel of the thumb (what has played in the highlight colour, what is to come in
    // a colour between the text's and the base's, so it stands out in a light and a dark
    // palette alike), and the style's own thumb over it all.
    if (!m_overview || m_overview->columns.empty()) return false;
    QPainter painter(m_pSlider);
    QStyleOptionSlider option;
    option.initFrom(m_pSlider);
    option.subControls = QStyle::SC_SliderHandle;
    option.orientation = Qt::Horizontal;
    option.minimum = m_pSlider->minimum();
    option.maximum = m_pSlider->maximum();
    option.sliderPosition = m_pSlider->sliderPosition();
    option.sliderValue = m_pSlider->value();
    option.singleStep = m_pSlider->singleStep();
    option.pageStep = m_pSlider->pageStep();
    option.upsideDown = m_pSlider->invertedAppearance() != (option.direction == Qt::RightToLeft);
    option.tickPosition = QSlider::NoTicks;
    if (m_pSlider->isSliderDown()) {
        option.activeSubControls = QStyle::SC_SliderHandle;
        option.state |= QStyle::State_Sunken;
    }
    QStyle* style = m_pSlider->style();
    const QRect groove =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, m_pSlider);
    const QRect handle =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, m_pSlider);
    const QPalette& palette = option.palette;
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const bool darkBase = base.lightnessF() < 0.5;
    QColor coming = QColor::fromRgbF(base.redF() + (text.redF() - base.redF()) * 0.6f,
                                     base.greenF() + (text.greenF() - base.greenF()) * 0.6f,
                                     base.blueF() + (text.blueF() - base.blueF()) * 0.6f);
    QColor played = palette.color(QPalette::Highlight);
    if (darkBase) played = played.lighter(160);

    const QRect well(groove.left(), 1, std::max(1, groove.width()), m_pSlider->height() - 2);
    painter.fillRect(well, base);
    painter.setPen(palette.color(darkBase ? QPalette::Light : QPalette::Mid));
    painter.drawRect(well.adjusted(0, 0, -1, -1));

    // Column x of the waveform lies under the thumb's centre when the thumb is at that point.
    const int travelLeft = groove.left() + handle.width() / 2;
    const int travel = std::max(1, groove.width() - handle.width());
    const int thumbCentre = handle.center().x();
    const auto& columns = m_overview->columns;
    const int middle = well.center().y();
    const int half = std::max(1, well.height() / 2 - 1);
    for (int x = well.left() + 1; x < well.right(); ++x) {
        const int at = std::clamp(x - travelLeft, 0, travel - 1);
        const size_t column = static_cast<size_t>(at) * columns.size() / travel;
        const int h = std::max(1, columns[column] * half / m_overviewPeak);
        painter.setPen(x < thumbCentre ? played : coming);
        painter.drawLine(x, middle - h, x, middle + h);
    }
    style->drawComplexControl(QStyle::CC_Slider, &option, &painter, m_pSlider);
    return true;
}

bool CPositionBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_pSlider) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Paint:
            if (PaintOverview()) return true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (m_pSlider->isEnabled() &&
                static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                m_bMouseDown = true;
                m_bThumbDragged = false;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (m_bMouseDown && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                // The thumb is already where the interaction left it.
                const bool dragged = m_bThumbDragged;
                m_bMouseDown = false;
                m_bThumbDragged = false;
                if (dragged) Notify(kThumbPosition);
                Notify(kEndScroll);
            }
            break;
        case QEvent::KeyPress:
            if (IsTrackbarKey(static_cast<QKeyEvent*>(event)->key()) && m_pSlider->isEnabled())
                m_bKeyDown = true;
            break;
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat() && IsTrackbarKey(key->key()) && m_pSlider->isEnabled()) {
                m_bKeyDown = false;
                Notify(kEndScroll);
            }
            break;
        }
        case QEvent::Wheel:
            // A turn of the wheel has no release to end it: it is a whole interaction of its
            // own, ended as soon as the trackbar has moved. During a drag or a held key it is
            // part of that interaction, which ends with its release.
            if (!m_bInWheel && m_pSlider->isEnabled() && !m_bMouseDown && !m_bKeyDown) {
                m_bInWheel = true;
                m_bWheelMoved = false;
                QCoreApplication::sendEvent(m_pSlider, event);
                m_bInWheel = false;
                if (m_bWheelMoved) Notify(kEndScroll);
                return true;
            }
            break;
        case QEvent::FocusOut:
            // The view takes the focus back at every report of a player: the release of a key
            // held on the trackbar then goes elsewhere. (A held mouse button keeps its grab.)
            EndInterrupted(true);
            break;
        case QEvent::EnabledChange:
            if (!m_pSlider->isEnabled()) EndInterrupted(false);
            break;
        case QEvent::Hide:
            EndInterrupted(false);
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void CPositionBar::EndInterrupted(bool keyOnly) {
    const bool key = m_bKeyDown;
    const bool mouse = !keyOnly && m_bMouseDown;
    if (!key && !mouse) return;
    m_bKeyDown = false;
    if (mouse) {
        const bool dragged = m_bThumbDragged;
        m_bMouseDown = false;
        m_bThumbDragged = false;
        if (dragged) Notify(kThumbPosition);
    }
    Notify(kEndScroll);
}

void CPositionBar::Notify(int code) { emit hScroll(code, m_pSlider->sliderPosition(), m_pSlider); }
