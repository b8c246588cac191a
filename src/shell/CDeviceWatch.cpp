#include "shell/CDeviceWatch.h"

#include <QLabel>
#include <QStatusBar>

#include "engine/CSoundOutput.h"

CDeviceWatch::CDeviceWatch(CSoundOutput& output, QStatusBar* bar, QObject* parent)
    : QObject(parent), m_output(output), m_pBar(bar), m_pDropoutsPane(new QLabel(bar)) {
    m_pDropoutsPane->setObjectName(QStringLiteral("DropoutsPane"));
    m_pDropoutsPane->setTextFormat(Qt::PlainText);
    m_pDropoutsPane->setAlignment(Qt::AlignCenter);
    m_pDropoutsPane->hide();  // shown from the first dropout on
    bar->addPermanentWidget(m_pDropoutsPane);
    connect(&m_timer, &QTimer::timeout, this, &CDeviceWatch::Check);
    m_timer.start(kIntervalMs);
}

void CDeviceWatch::Check() {
    bool channelsChanged = false;
    for (const CSoundOutput::DeviceChange& change : m_output.Poll()) {
        const QString name = QString::fromStdString(change.name);
        QString note;
        switch (change.kind) {
            case CSoundOutput::DeviceChange::Kind::Lost:
                note = QStringLiteral("Output lost: ");
                break;
            case CSoundOutput::DeviceChange::Kind::Back:
                note = QStringLiteral("Output back: ");
                break;
            case CSoundOutput::DeviceChange::Kind::Added:
                note = QStringLiteral("Output added: ");
                channelsChanged = true;
                break;
            case CSoundOutput::DeviceChange::Kind::Found:
                note = QStringLiteral("Output found: ");
                channelsChanged = true;
                break;
        }
        m_pBar->showMessage(note + name, kNoteMs);
    }
    if (channelsChanged) emit this->channelsChanged();
    const uint64_t dropouts = m_output.GetDropoutCount();
    if (dropouts != m_shownDropouts) {
        m_shownDropouts = dropouts;
        m_pDropoutsPane->setText(QStringLiteral("Dropouts: %1").arg(dropouts));
        m_pDropoutsPane->setVisible(dropouts > 0);
    }
}
