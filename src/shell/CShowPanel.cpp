#include "shell/CShowPanel.h"

#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSizePolicy>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "platform/text/AnsiText.h"
#include "shell/CLevelMeter.h"
#include "shell/CWrapLabel.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/CommandSource.h"

namespace {

constexpr int kProgressMax = 1000;
constexpr int kMaxNextCues = 4;

QFont Scaled(QFont font, double factor, bool bold) {
    font.setPointSizeF(std::max(6.0, font.pointSizeF() * factor));
    font.setBold(bold);
    return font;
}

QString TypeText(const CQRecord* cue) {
    QString text;
    switch (cue->GetCueType()) {
        case CQRecord::kTypeBackground:
            text = CShowPanel::tr("Background");
            break;
        case CQRecord::kTypeMultiple:
            text = CShowPanel::tr("Multiple");
            break;
        case CQRecord::kTypeAutomatic:
            text = CShowPanel::tr("Automatic");
            break;
        default:
            text = CShowPanel::tr("Normal");
            break;
    }
    if (cue->IsExclusive()) text += CShowPanel::tr(", Exclusive");
    if (cue->IsLooped()) text += CShowPanel::tr(", Looped");
    return text;
}

}  // namespace

CShowPanel::CShowPanel(CMVView* view, QWidget* parent) : QWidget(parent), m_pView(view) {
    setObjectName(QStringLiteral("ShowPanel"));
    // Everything but the two big buttons scrolls when the window is small; the buttons stay.
    auto* outer = new QVBoxLayout(this);
    auto* scroller = new QScrollArea(this);
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* middle = new QWidget(scroller);
    auto* layout = new QVBoxLayout(middle);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* next = new QGroupBox(tr("NEXT"), middle);
    auto* nextLayout = new QVBoxLayout(next);
    // However narrow the dock, the ID and description wrap (inside a long word if need be)
    // rather than run off its side.
    m_pNextTitle = new CWrapLabel(next);
    m_pNextTitle->setObjectName(QStringLiteral("NextTitle"));
    m_pNextTitle->setFont(Scaled(font(), 1.8, true));
    m_pNextInfo = new CWrapLabel(next);
    m_pNextInfo->setObjectName(QStringLiteral("NextInfo"));
    m_pNextInfo->setFont(Scaled(font(), 1.15, false));
    nextLayout->addWidget(m_pNextTitle);
    nextLayout->addWidget(m_pNextInfo);
    layout->addWidget(next);

    m_pFailureBox = new QWidget(middle);
    auto* failureLayout = new QHBoxLayout(m_pFailureBox);
    failureLayout->setContentsMargins(0, 0, 0, 0);
    m_pFailure = new QLabel(m_pFailureBox);
    m_pFailure->setObjectName(QStringLiteral("FailureLine"));
    m_pFailure->setTextFormat(Qt::PlainText);
    m_pFailure->setWordWrap(true);
    m_pFailure->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_pFailure->setStyleSheet(QStringLiteral("color: white; background: #b71c1c; padding: 4px;"));
    m_pDismiss = new QToolButton(m_pFailureBox);
    m_pDismiss->setText(tr("Dismiss"));
    m_pDismiss->setFocusPolicy(Qt::NoFocus);
    connect(m_pDismiss, &QToolButton::clicked, this, [this] {
        DismissFailure();
        emit failureDismissed();
    });
    failureLayout->addWidget(m_pFailure, 1);
    failureLayout->addWidget(m_pDismiss);
    m_pFailureBox->hide();
    layout->addWidget(m_pFailureBox);

    auto* meters = new QGroupBox(tr("OUTPUTS"), middle);
    m_pMeterLayout = new QVBoxLayout(meters);
    m_pMeterLayout->setSpacing(1);
    layout->addWidget(meters);

    auto* playing = new QGroupBox(tr("PLAYING"), middle);
    m_pPlayingLayout = new QVBoxLayout(playing);
    m_pNothingPlaying = new QLabel(tr("Nothing is playing"), playing);
    m_pNothingPlaying->setEnabled(false);
    m_pPlayingLayout->addWidget(m_pNothingPlaying);
    layout->addWidget(playing);
    layout->addStretch(1);
    scroller->setWidget(middle);
    outer->addWidget(scroller, 1);

    auto* buttons = new QHBoxLayout;
    m_pGo = new QPushButton(tr("GO"), this);
    m_pGo->setObjectName(QStringLiteral("PanelGo"));
    m_pStopAll = new QPushButton(tr("STOP ALL"), this);
    m_pStopAll->setObjectName(QStringLiteral("PanelStopAll"));
    for (QPushButton* button : {m_pGo, m_pStopAll}) {
        button->setFont(Scaled(font(), 2.0, true));
        button->setMinimumHeight(64);
        // The keyboard stays with the list: Enter must remain Go, not press a focused button.
        button->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(button);
    }
    m_pGo->setStyleSheet(
        QStringLiteral("QPushButton { background: #2e7d32; color: white; }"
                       "QPushButton:disabled { background: #4a5a4a; }"));
    m_pStopAll->setStyleSheet(
        QStringLiteral("QPushButton { background: #c62828; color: white; }"
                       "QPushButton:disabled { background: #5a4a4a; }"));
    connect(m_pGo, &QPushButton::clicked, this, [this] { emit commandRequested(ID_AUDIO_GO); });
    connect(m_pStopAll, &QPushButton::clicked, this,
            [this] { emit commandRequested(ID_AUDIO_STOPALL); });
    outer->addLayout(buttons);

    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CShowPanel::RefreshPlaying);
    m_meterTimer.setInterval(kMeterMs);
    connect(&m_meterTimer, &QTimer::timeout, this, &CShowPanel::RefreshMeters);

    if (view) {
        connect(view, &CMVView::cueStatus, this, [this] {
            RefreshPlaying();
            RefreshNext();
        });
        if (view->selectionModel())
            connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                    &CShowPanel::RefreshNext);
        connect(view, &CMVView::cueCountChanged, this, &CShowPanel::RefreshNext);
    }
    Refresh();
}

void CShowPanel::SetMeterSource(MeterSource source) {
    m_meterSource = std::move(source);
    EnsureMeters();
    if (m_meterSource.take) m_meterTimer.start();
}

void CShowPanel::SetDurationSource(std::function<QString(const CQRecord*)> source) {
    m_duration = std::move(source);
    RefreshNext();
}

void CShowPanel::Refresh() {
    RefreshNext();
    RefreshPlaying();
}

QString CShowPanel::FormatClock(uint32_t ms) {
    const uint32_t tenths = ms / 100;
    return QString::asprintf("%u:%02u.%u", tenths / 600, tenths / 10 % 60, tenths % 10);
}

QString CShowPanel::FormatLevel(int32_t hundredths) {
    if (hundredths <= -10000) return tr("-inf dB");
    return QString::asprintf("%.1f dB", hundredths / 100.0);
}

QString CShowPanel::FormatSpeed(double ratio) { return QString::asprintf("x%.2f", ratio); }

void CShowPanel::RefreshNext() {
    QStringList titles;
    QStringList infos;
    if (m_pView) {
        const QList<int> rows = m_pView->GetSelectedRows();
        for (int row : rows) {
            const CQRecord* cue = m_pView->GetRowCue(row);
            if (cue == nullptr) continue;
            if (titles.size() == kMaxNextCues) {
                titles.append(
                    tr("+ %n more", nullptr, static_cast<int>(rows.size()) - kMaxNextCues));
                break;
            }
            titles.append(ToDisplayText(cue->m_strID) + QStringLiteral("  ") +
                          ToDisplayText(cue->m_strDescription));
            QString info = TypeText(cue);
            const QString duration = m_duration ? m_duration(cue) : QString();
            if (!duration.isEmpty()) info += QStringLiteral("   ") + duration;
            const QString notes = ToDisplayText(cue->m_strNotes);
            if (!notes.isEmpty()) info += QStringLiteral("\n") + notes;
            infos.append(info);
        }
    }
    const QString title = titles.isEmpty() ? tr("End of list") : titles.join(QLatin1Char('\n'));
    const QString info = infos.join(QStringLiteral("\n"));
    if (m_pNextTitle->text() != title) m_pNextTitle->setText(title);
    if (m_pNextInfo->text() != info) m_pNextInfo->setText(info);
    if (m_pGo) m_pGo->setEnabled(!titles.isEmpty());
}

QString CShowPanel::GetNextText() const {
    const QString info = m_pNextInfo->text();
    return info.isEmpty() ? m_pNextTitle->text() : m_pNextTitle->text() + QLatin1Char('\n') + info;
}

void CShowPanel::RefreshPlaying() {
    const std::vector<CCuePlayer*> players =
        m_pView ? m_pView->GetOwnedPlayers() : std::vector<CCuePlayer*>{};
    bool same = players.size() == m_rows.size();
    for (size_t i = 0; same && i < players.size(); ++i) same = m_rows[i].player == players[i];
    if (!same) RebuildRows(players);
    for (Row& row : m_rows) UpdateRow(row);
    if (m_pStopAll) m_pStopAll->setEnabled(m_pView && m_pView->GetCurrentPlayer() != nullptr);
    // While nothing sounds the panel has nothing to follow.
    if (players.empty()) {
        m_refreshTimer.stop();
    } else if (!m_refreshTimer.isActive()) {
        m_refreshTimer.start();
    }
}

void CShowPanel::RebuildRows(const std::vector<CCuePlayer*>& players) {
    // A row's button may be the one being clicked: its widget goes once the click is over.
    for (Row& row : m_rows) {
        row.widget->hide();
        row.widget->deleteLater();
    }
    m_rows.clear();
    m_pNothingPlaying->setVisible(players.empty());
    for (CCuePlayer* player : players) {
        Row row;
        row.player = player;
        row.widget = new QWidget(m_pNothingPlaying->parentWidget());
        auto* grid = new QGridLayout(row.widget);
        grid->setContentsMargins(0, 2, 0, 2);
        row.title = new CWrapLabel(row.widget);
        row.title->SetMaxLines(1);
        row.title->setFont(Scaled(font(), 1.2, true));
        row.progress = new QProgressBar(row.widget);
        row.progress->setRange(0, kProgressMax);
        row.progress->setTextVisible(false);
        row.progress->setMaximumHeight(10);
        row.times = new QLabel(row.widget);
        row.times->setTextFormat(Qt::PlainText);
        row.level = new QLabel(row.widget);
        row.level->setTextFormat(Qt::PlainText);
        row.stop = new QToolButton(row.widget);
        row.stop->setText(tr("Stop"));
        row.stop->setToolTip(tr("Stop this cue alone at once"));
        row.fade = new QToolButton(row.widget);
        row.fade->setText(tr("Fade"));
        row.fade->setToolTip(tr("Fade this cue alone out"));
        for (QToolButton* button : {row.stop, row.fade}) button->setFocusPolicy(Qt::NoFocus);
        // The colours of STOP ALL, smaller: a line's Stop is found at a glance in the dark.
        row.stop->setObjectName(QStringLiteral("LineStop"));
        row.stop->setStyleSheet(
            QStringLiteral("QToolButton { background: #c62828; color: white; border: none;"
                           " padding: 3px 8px; }"
                           "QToolButton:pressed { background: #8e1b1b; }"));
        connect(row.stop, &QToolButton::clicked, this, [this, player] {
            if (m_pView) m_pView->KillOwnedPlayer(player, CommandSource::FromButton());
            RefreshPlaying();
        });
        connect(row.fade, &QToolButton::clicked, this, [this, player] {
            if (m_pView) m_pView->FadeOutPlayer(player, CommandSource::FromButton());
            RefreshPlaying();
        });
        grid->addWidget(row.title, 0, 0, 1, 3);
        grid->addWidget(row.stop, 0, 3);
        grid->addWidget(row.fade, 0, 4);
        grid->addWidget(row.progress, 1, 0, 1, 5);
        grid->addWidget(row.times, 2, 0);
        grid->addWidget(row.level, 2, 1, 1, 4, Qt::AlignRight);
        grid->setColumnStretch(0, 1);
        m_pPlayingLayout->addWidget(row.widget);
        m_rows.push_back(row);
    }
}

void CShowPanel::UpdateRow(Row& row) {
    CCuePlayer* player = row.player;
    const CQRecord* cue = player->GetCue();
    const bool listed = m_pView && m_pView->IsPlayerListed(player);
    QString title = cue ? ToDisplayText(cue->m_strID) + QStringLiteral("  ") +
                              ToDisplayText(cue->m_strDescription)
                        : QString();
    if (!listed) title += tr("  (fading out)");
    const uint32_t total = player->GetDurationMs();
    const uint32_t elapsed = player->GetElapsedMs();
    const uint32_t remaining = player->GetRemainingMs();
    const bool looped = cue && cue->IsLooped();
    const QString times = FormatClock(elapsed) + QStringLiteral("   ") +
                          (looped ? tr("loop") : QStringLiteral("-") + FormatClock(remaining));
    const QString level = FormatLevel(player->GetLevel()) + QStringLiteral("   ") +
                          FormatSpeed(player->GetSpeedRatio());
    const int progress = total == 0 ? 0
                                    : static_cast<int>(std::min<uint64_t>(
                                          uint64_t{kProgressMax} * elapsed / total, kProgressMax));
    if (row.title->text() != title) row.title->setText(title);
    if (row.times->text() != times) row.times->setText(times);
    if (row.level->text() != level) row.level->setText(level);
    if (row.progress->value() != progress) row.progress->setValue(progress);
    row.fade->setEnabled(listed);
}

QStringList CShowPanel::GetPlayingTexts() const {
    QStringList texts;
    for (const Row& row : m_rows)
        texts.append(row.title->text() + QStringLiteral(" | ") + row.times->text() +
                     QStringLiteral(" | ") + row.level->text());
    return texts;
}

CCuePlayer* CShowPanel::GetPlayingPlayer(int line) const {
    return line >= 0 && line < GetPlayingCount() ? m_rows[line].player : nullptr;
}

int CShowPanel::GetProgress(int line) const {
    return line >= 0 && line < GetPlayingCount() ? m_rows[line].progress->value() : -1;
}

QToolButton* CShowPanel::GetStopButton(int line) const {
    return line >= 0 && line < GetPlayingCount() ? m_rows[line].stop : nullptr;
}

QToolButton* CShowPanel::GetFadeButton(int line) const {
    return line >= 0 && line < GetPlayingCount() ? m_rows[line].fade : nullptr;
}

void CShowPanel::ShowFailure(const QString& text) {
    m_pFailure->setText(text);
    m_pFailureBox->show();
}

void CShowPanel::DismissFailure() {
    m_pFailure->clear();
    m_pFailureBox->hide();
}

QString CShowPanel::GetFailureText() const {
    return m_pFailureBox->isHidden() ? QString() : m_pFailure->text();
}

void CShowPanel::EnsureMeters() {
    const int count = m_meterSource.count ? m_meterSource.count() : 0;
    while (m_meters.size() < count) {
        const int index = static_cast<int>(m_meters.size());
        auto* name = new QLabel(m_meterSource.name ? m_meterSource.name(index) : QString(), this);
        name->setTextFormat(Qt::PlainText);
        auto* meter = new CLevelMeter(this);
        meter->setObjectName(QStringLiteral("Meter%1").arg(index));
        m_pMeterLayout->addWidget(name);
        m_pMeterLayout->addWidget(meter);
        m_meterNames.append(name);
        m_meters.append(meter);
    }
}

QStringList CShowPanel::GetMeterNames() const {
    QStringList names;
    for (const QLabel* name : m_meterNames) names << name->text();
    return names;
}

void CShowPanel::RefreshMeterNames() {
    EnsureMeters();
    for (int i = 0; i < m_meterNames.size(); ++i) {
        m_meterNames[i]->setText(m_meterSource.name ? m_meterSource.name(i) : QString());
    }
}

void CShowPanel::RefreshMeters() {
    if (!m_meterSource.take) return;
    EnsureMeters();
    const std::vector<MeterReading> readings = m_meterSource.take();
    // With nothing sounding the meters only fall back to rest: a few readings a second do.
    const bool sounding = m_pView && m_pView->GetOwnedPlayerCount() > 0;
    const int interval = sounding ? kMeterMs : kIdleMeterMs;
    if (m_meterTimer.interval() != interval) m_meterTimer.setInterval(interval);
    for (int i = 0; i < m_meters.size() && i < static_cast<int>(readings.size()); ++i)
        m_meters[i]->SetLevels(readings[i].peak, readings[i].rms);
}
