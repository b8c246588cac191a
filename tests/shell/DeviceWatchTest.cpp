// Devices that appear during the show, seen in the main window: the status bar says so, the
// meters and the show check follow, and a cue on a missing channel fails with a clear message
// until its device is found.
#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/VirtualDevice.h"
#include "shell/AppSettings.h"
#include "shell/CMainFrame.h"
#include "shell/CShowPanel.h"
#include "shell/FrameFixture.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

namespace {

std::atomic<bool> g_interfacePlugged{false};

std::vector<std::unique_ptr<OutputDevice>> Rig() {
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<VirtualDevice>("Desk"));
    devices.push_back(std::make_unique<VirtualDevice>("Stage"));
    if (g_interfacePlugged) {
        devices.push_back(std::make_unique<VirtualDevice>("Interface", std::string(),
                                                          VirtualDevice::kDefaultPeriodFrames, 4));
    }
    return devices;
}

class DeviceWatchTest : public FrameFixture {
protected:
    DeviceWatchTest() : FrameFixture(3000, QMessageBox::No) {}

    void SetUp() override {
        g_interfacePlugged = false;
        FrameFixture::SetUp();
    }

    void TearDown() override {
        FrameFixture::TearDown();
        theSoundOutput.ReleaseDevices();
    }

    CMainFrame& MakeFrame() {
        theSoundOutput.StartRescan(&Rig, 50);
        return FrameFixture::MakeFrame();
    }

    CQRecord* Add(int channel) {
        CQRecord* cue = viewtest::AddCue(*m_doc, m_tone, CQRecord::kTypeNormal, 400);
        cue->m_nChannel = channel;
        return cue;
    }

    bool Go(int row) {
        m_frame->GetView()->SelectRows({row}, row);
        return m_frame->DispatchCommand(ID_AUDIO_GO, Qt::NoModifier, CommandSource::FromKey());
    }
};

TEST_F(DeviceWatchTest, AMissingChosenDeviceIsFlaggedRefusedAndThenFoundIntoItsChannels) {
    ASSERT_TRUE(theSoundOutput.Initialize(Rig(), {{"Desk", 2}, {"Interface", 4}, {"Stage", 2}}));
    Add(2);  // Interface 3/4
    Add(3);  // Stage
    CMainFrame& frame = MakeFrame();
    CMVView* view = frame.GetView();
    CShowPanel* panel = frame.GetShowPanel();
    EXPECT_EQ(panel->GetMeterNames(), (QStringList{"0 - Desk", "1 - Interface 1/2 (missing)",
                                                   "2 - Interface 3/4 (missing)", "3 - Stage"}));

    // The check flags the cue on the missing channel, not the other.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->GetRowProblem(0).isEmpty(); }, 5000));
    EXPECT_TRUE(view->GetRowProblem(0).startsWith("Channel 2 (Interface 3/4) is missing"))
        << view->GetRowProblem(0).toStdString();
    EXPECT_TRUE(view->GetRowProblem(1).isEmpty());
    // A Go on it fails and says why (in a box when nothing sounds, in the failure line while
    // cues play); nothing plays on it.
    Go(0);
    EXPECT_EQ(m_messages, QStringList{"Output missing: Interface"});
    EXPECT_EQ(view->GetOwnedPlayerCount(), 0);
    Go(1);
    ASSERT_EQ(view->GetOwnedPlayerCount(), 1);
    Go(0);
    EXPECT_TRUE(panel->GetFailureText().contains("Output missing: Interface"))
        << panel->GetFailureText().toStdString();
    EXPECT_EQ(view->GetOwnedPlayerCount(), 1);

    g_interfacePlugged = true;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame.statusBar()->currentMessage() == "Output found: Interface"; }, 3000));
    EXPECT_EQ(panel->GetMeterNames(),
              (QStringList{"0 - Desk", "1 - Interface 1/2", "2 - Interface 3/4", "3 - Stage"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->GetRowProblem(0).isEmpty(); }, 5000));
    // The cue on Stage played on through it; the next Go on the interface plays too.
    EXPECT_EQ(view->GetOwnedPlayerCount(), 1);
    Go(0);
    EXPECT_EQ(view->GetOwnedPlayerCount(), 2);
}

TEST_F(DeviceWatchTest, ADevicePluggedInAfterStartIsAddedAndSaidInTheStatusBar) {
    g_interfacePlugged = false;
    ASSERT_TRUE(theSoundOutput.Initialize(Rig()));
    Add(1);
    CMainFrame& frame = MakeFrame();
    Go(0);  // plays on Stage through it all
    ASSERT_EQ(frame.GetView()->GetOwnedPlayerCount(), 1);
    g_interfacePlugged = true;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame.statusBar()->currentMessage() == "Output added: Interface"; }, 3000));
    EXPECT_EQ(frame.GetShowPanel()->GetMeterNames(),
              (QStringList{"0 - Desk", "1 - Stage", "2 - Interface 1/2", "3 - Interface 3/4"}));
    EXPECT_EQ(frame.GetView()->GetOwnedPlayerCount(), 1);
}

}  // namespace
