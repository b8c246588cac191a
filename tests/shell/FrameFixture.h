#pragma once

// A main window over a new document, for the tests that drive the whole window: a temporary
// folder with a tone of the fixture's length in it, message boxes answered with `m_answer` and
// their texts kept in `m_messages`. The sound output is the deriving fixture's business.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "shell/AppSettings.h"
#include "shell/CMainFrame.h"
#include "view/CMVView.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

class FrameFixture : public ::testing::Test {
protected:
    FrameFixture(int toneMs, int answer) : m_toneMs(toneMs), m_answer(answer) {}

    void SetUp() override {
        mvapp::OpenSettings().clear();
        ASSERT_TRUE(m_dir.isValid());
        m_tone = m_dir.filePath("tone.wav");
        ASSERT_TRUE(viewtest::WriteTone(m_tone, m_toneMs));
        m_doc = std::make_unique<CMVDoc>();
        m_doc->OnNewDocument();
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon, QMessageBox::StandardButtons) {
                m_messages << text;
                return m_answer;
            });
    }

    void TearDown() override {
        if (m_frame) m_frame->GetView()->StopAllPlayers();
        m_frame.reset();
        mvui::SetMessageHandlerForTesting({});
    }

    // The window over the document, shown and active. `prepare` runs before the view's first
    // update.
    CMainFrame& MakeFrame(const std::function<void(CMainFrame&)>& prepare = {}) {
        m_frame = std::make_unique<CMainFrame>(m_doc.get(), nullptr);
        if (prepare) prepare(*m_frame);
        m_frame->GetView()->OnInitialUpdate();
        m_frame->show();
        m_frame->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
        return *m_frame;
    }

    const int m_toneMs;
    QTemporaryDir m_dir;
    QString m_tone;
    std::unique_ptr<CMVDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    QStringList m_messages;
    int m_answer;
};
