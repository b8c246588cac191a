// The main frame's part in running a show: the show panel, the Go log, the live-safety
// preferences, the failure line, the prompt before cues are cut off, and the window's look.

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "engine/WaveformCache.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OutputDevice.h"
#include "shell/CMainFrame.h"
#include "shell/CPositionBar.h"
#include "shell/CShowPanel.h"
#include "shell/GoLog.h"
#include "shell/Preferences.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ShowAction.h"

namespace {

// How long a notice stays in the status bar's first pane.
constexpr int kNoticeMs = 3000;

QPalette DarkPalette() {
    QPalette p;
    const QColor window(37, 37, 40);
    const QColor base(24, 24, 26);
    const QColor text(222, 222, 222);
    const QColor disabled(120, 120, 120);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(32, 32, 35));
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(48, 48, 52));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 80, 80));
    p.setColor(QPalette::Light, QColor(70, 70, 75));
    p.setColor(QPalette::Midlight, QColor(58, 58, 62));
    p.setColor(QPalette::Mid, QColor(44, 44, 48));
    p.setColor(QPalette::Dark, QColor(20, 20, 22));
    p.setColor(QPalette::Shadow, Qt::black);
    // The highlight of the next cue must stand out from across the booth.
    p.setColor(QPalette::Highlight, QColor(33, 97, 170));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(100, 160, 240));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(60, 60, 64));
    return p;
}

}  // namespace

void CMainFrame::CreateShowParts() {
    m_pGoLog = std::make_unique<GoLog>(GoLog::DefaultFolder());
    connect(m_pGoLog.get(), &GoLog::writeFailed, this, &CMainFrame::ShowNotice);
    UpdateGoLogShowName();
    connect(m_pDoc, &CMVDoc::pathNameChanged, this, &CMainFrame::UpdateGoLogShowName);
    connect(m_pView, &CMVView::showAction, this, &CMainFrame::OnShowAction);
    connect(m_pView, &CMVView::startFailed, this,
            [this](const QString& id, const QString& file, const QString& message) {
                ShowFailure(tr("Cue %1 (%2) did not start: %3").arg(id, file, message));
            });

    m_pShowPanel = new CShowPanel(m_pView, this);
    m_pShowDock = new QDockWidget(tr("Show"), this);
    m_pShowDock->setObjectName(QStringLiteral("ShowDock"));
    m_pShowDock->setWidget(m_pShowPanel);
    m_pShowDock->setFeatures(QDockWidget::DockWidgetMovable);
    m_pShowDock->setAllowedAreas(Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    addDockWidget(Qt::RightDockWidgetArea, m_pShowDock);
    resizeDocks({m_pShowDock}, {380}, Qt::Horizontal);
    connect(m_pShowPanel, &CShowPanel::commandRequested, this,
            [this](int id) { DispatchCommand(id, Qt::NoModifier, CommandSource::FromButton()); });
    connect(m_pShowPanel, &CShowPanel::failureDismissed, this, &CMainFrame::DismissFailure);

    CShowPanel::MeterSource meters;
    meters.count = [] { return theSoundOutput.GetChannelCount(); };
    meters.name = [](int channel) {
        QStringList names;
        theSoundOutput.GetChannelNames(names);
        return channel < names.size() ? names[channel] : QString();
    };
    meters.take = [] {
        // Each device is read once; its outputs are shared out to its channels (pairs, or an
        // odd last output shown on both sides). A missing channel's meter rests.
        std::vector<std::pair<OutputDevice*, DeviceMixer::Levels>> taken;
        std::vector<CShowPanel::MeterReading> readings;
        for (int c = 0; c < theSoundOutput.GetChannelCount(); ++c) {
            const CSoundOutput::Channel* channel = theSoundOutput.GetChannel(c);
            CShowPanel::MeterReading reading;
            if (channel->device != nullptr && channel->device->GetMixer()) {
                auto levels = std::find_if(taken.begin(), taken.end(), [&](const auto& t) {
                    return t.first == channel->device;
                });
                if (levels == taken.end()) {
                    taken.emplace_back(channel->device, channel->device->GetMixer()->TakeLevels());
                    levels = taken.end() - 1;
                }
                for (uint32_t side = 0; side < 2; ++side) {
                    const uint32_t output =
                        channel->firstOutput + std::min(side, channel->width - 1);
                    if (output < levels->second.outputs) {
                        reading.peak[side] = levels->second.peak[output];
                        reading.rms[side] = levels->second.rms[output];
                    }
                }
            }
            readings.push_back(reading);
        }
        return readings;
    };
    m_pShowPanel->SetMeterSource(std::move(meters));

    // Waveforms: read in the background, shown behind the position bar's thumb; their lengths
    // also tell the NEXT block how long the highlighted cue is.
    m_pWaveforms = new WaveformCache(this);
    connect(m_pWaveforms, &WaveformCache::ready, this, [this] {
        UpdateOverview();
        m_pShowPanel->RefreshNext();
    });
    m_pShowPanel->SetDurationSource([this](const CQRecord* cue) {
        const auto overview = m_pWaveforms->Request(cue->m_strPath);
        return overview ? CShowPanel::FormatClock(overview->durationMs) : QString();
    });
    connect(m_pView, &CMVView::cueStatus, this, &CMainFrame::UpdateOverview);
    if (m_pView->selectionModel())
        connect(m_pView->selectionModel(), &QItemSelectionModel::currentChanged, this,
                &CMainFrame::UpdateOverview);

    // The failure line of the status bar: hidden until a cue fails while others sound; a click
    // dismisses it.
    m_pFailurePane = new QToolButton(statusBar());
    m_pFailurePane->setObjectName(QStringLiteral("FailurePane"));
    m_pFailurePane->setAutoRaise(true);
    m_pFailurePane->setFocusPolicy(Qt::NoFocus);
    m_pFailurePane->setToolTip(tr("Click to dismiss"));
    m_pFailurePane->setStyleSheet(
        QStringLiteral("QToolButton { color: white; background: #b71c1c; padding: 0 4px; }"));
    m_pFailurePane->hide();
    statusBar()->addWidget(m_pFailurePane);
    connect(m_pFailurePane, &QToolButton::clicked, this, &CMainFrame::DismissFailure);
}

void CMainFrame::UpdateOverview() {
    const CQRecord* cue = nullptr;
    if (m_pView->GetCurrentPlayer()) {
        cue = m_pView->GetCurrentPlayer()->GetCue();
    } else {
        const QList<int> rows = m_pView->GetSelectedRows();
        if (!rows.isEmpty()) cue = m_pView->GetRowCue(rows.first());
    }
    m_pPositionBar->SetOverview(cue ? m_pWaveforms->Request(cue->m_strPath) : nullptr);
}

void CMainFrame::SetGoLogFolder(const QString& folder) {
    m_pGoLog = std::make_unique<GoLog>(folder);
    connect(m_pGoLog.get(), &GoLog::writeFailed, this, &CMainFrame::ShowNotice);
    UpdateGoLogShowName();
}

void CMainFrame::UpdateGoLogShowName() {
    if (!m_pGoLog) return;
    const QString path = m_pDoc->GetPathName();
    m_pGoLog->SetShowName(path.isEmpty() ? QString() : QFileInfo(path).completeBaseName());
}

void CMainFrame::OnShowAction(const ShowAction& action) {
    if (m_pGoLog) m_pGoLog->Record(action);
    if (action.kind == ShowAction::Kind::GoIgnored) ShowNotice(tr("Go ignored (double press)"));
}

void CMainFrame::ShowNotice(const QString& text) {
    m_strNotice = text;
    m_noticeTimer.start();
    SetPane0(text);
    // The pane returns to what it shows otherwise once the notice is over.
    QTimer::singleShot(kNoticeMs + 50, this, [this] {
        if (!IsNoticeShowing()) OnCueStatus(m_pCurrentPlayer);
    });
}

bool CMainFrame::IsNoticeShowing() const {
    return m_noticeTimer.isValid() && m_noticeTimer.elapsed() < kNoticeMs;
}

void CMainFrame::ShowFailure(const QString& text) {
    m_pFailurePane->setText(text);
    m_pFailurePane->show();
    m_pShowPanel->ShowFailure(text);
}

void CMainFrame::DismissFailure() {
    m_pFailurePane->hide();
    m_pFailurePane->setText(QString());
    m_pShowPanel->DismissFailure();
}

QString CMainFrame::GetFailureText() const {
    return m_pFailurePane->isHidden() ? QString() : m_pFailurePane->text();
}

bool CMainFrame::ConfirmStopPlaying() {
    if (!m_pView || m_pView->GetOwnedPlayerCount() == 0) return true;
    const int answer =
        mvui::ShowMessage(this, tr("Cues are playing. Stop them and close?"), QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    m_pView->StopAllPlayers();
    return true;
}

bool CMainFrame::DispatchShowCommand(int id, bool* done) {
    switch (id) {
        case ID_VIEW_SHOWPANEL: {
            const bool show = m_pShowDock->isHidden();
            m_pShowDock->setVisible(show);
            m_pPrefs->SetShowPanel(show);
            m_pPrefs->Sync();
            break;
        }
        case ID_VIEW_DARKTHEME:
            ApplyTheme(!m_bDarkTheme);
            m_pPrefs->SetDarkTheme(m_bDarkTheme);
            m_pPrefs->Sync();
            break;
        case ID_VIEW_FONT_LARGER:
            ChangeListFont(+1);
            break;
        case ID_VIEW_FONT_SMALLER:
            ChangeListFont(-1);
            break;
        case ID_HELP_SHOWLOG: {
            const QString folder = m_pGoLog->GetFolder();
            if (!QDir().mkpath(folder) || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
                mvui::ShowMessage(this,
                                  tr("The folder of the Go logs cannot be opened:\n%1").arg(folder),
                                  QMessageBox::Warning);
            break;
        }
        default:
            return false;
    }
    *done = true;
    return true;
}

int CMainFrame::GetListFontPoints() const { return m_pView->font().pointSize(); }

void CMainFrame::SetListFontPoints(int points) {
    QFont font = m_pView->font();
    if (points <= 0) {
        font = QApplication::font(m_pView);
    } else {
        font.setPointSize(
            std::clamp(points, Preferences::kMinListFontPoints, Preferences::kMaxListFontPoints));
    }
    m_pView->setFont(font);
    // Rows follow the text's height.
    m_pView->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 6);
}

void CMainFrame::ChangeListFont(int delta) {
    const int now = GetListFontPoints();
    const int points =
        std::clamp(now + delta, Preferences::kMinListFontPoints, Preferences::kMaxListFontPoints);
    SetListFontPoints(points);
    m_pPrefs->SetListFontPoints(points);
    m_pPrefs->Sync();
}

void CMainFrame::ApplyTheme(bool dark) {
    m_bDarkTheme = dark;
    // Dialogs, menus and message boxes follow the application's palette.
    // The desktop's own look is remembered the first time, to go back to it.
    static const QPalette light = QApplication::palette();
    static const QString lightStyle = QApplication::style()->name();
    if (dark) {
        // The desktop's style may draw with its own colours; this one follows the palette.
        if (QApplication::style()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive))
            QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(DarkPalette());
    } else {
        if (QApplication::style()->name() != lightStyle) QApplication::setStyle(lightStyle);
        QApplication::setPalette(light);
    }
    RequestCommandUIUpdate();
}

void CMainFrame::ApplyShowPreferences() {
    m_pView->SetDoubleGoMs(m_pPrefs->GetDoubleGoMs());
    m_pView->SetFadeAllMs(m_pPrefs->GetFadeAllMs());
    if (m_pPrefs->GetDarkTheme() != m_bDarkTheme) ApplyTheme(m_pPrefs->GetDarkTheme());
    SetListFontPoints(m_pPrefs->GetListFontPoints());
    if (m_pShowDock) m_pShowDock->setVisible(m_pPrefs->GetShowPanel());
}
