// Cut, Copy and Paste of cues through the clipboard, on the offscreen platform (its clipboard
// lives inside the process): payload bytes, paste positions and selection, and the faults a
// clipboard can bring (refusal, data that breaks the format).
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QtEndian>
#include <memory>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/CueClipboard.h"
#include "view/MessageBox.h"

namespace {

const QString kMime = QString::fromLatin1(CueClipboard::kMimeType);

struct Shown {
    QString text;
    QMessageBox::Icon icon;
};

class ViewClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        QGuiApplication::clipboard()->clear();
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons) {
                m_messages.push_back({text, icon});
                return int(QMessageBox::Ok);
            });
    }
    void TearDown() override {
        m_views.clear();
        m_docs.clear();
        CueClipboard::SetPlaceHookForTesting({});
        mvui::SetMessageHandlerForTesting({});
    }

    // A list of `n` cues whose IDs are `prefix` and a number from 0, and its view.
    CMVView& MakeView(int n, const QByteArray& prefix = "A") {
        auto doc = std::make_unique<CMVDoc>();
        doc->OnNewDocument();
        for (int i = 0; i < n; ++i) {
            CQRecord* cue = doc->AddCue(-1);
            cue->SetID(prefix + QByteArray::number(i));
            cue->m_nVolume = -i;
        }
        doc->SetModifiedFlag(false);
        auto view = std::make_unique<CMVView>(doc.get());
        view->resize(900, 400);
        view->OnInitialUpdate();
        m_docs.push_back(std::move(doc));
        m_views.push_back(std::move(view));
        return *m_views.back();
    }
    CMVDoc& Doc(const CMVView& view) const { return *view.GetDocument(); }

    static QStringList Ids(const CMVView& view) {
        QStringList ids;
        for (int row = 0; row < view.GetRowCount(); ++row) {
            ids.append(QString::fromLatin1(view.GetRowCue(row)->m_strID));
            EXPECT_EQ(view.GetRowCue(row), view.GetDocument()->GetCue(row));
        }
        EXPECT_EQ(view.GetDocument()->GetCueCount(), view.GetRowCount());
        return ids;
    }

    static QByteArray ClipboardBytes() {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data != nullptr ? data->data(kMime) : QByteArray();
    }
    static void SetClipboardBytes(const QByteArray& bytes) {
        auto* mime = new QMimeData;
        mime->setData(kMime, bytes);
        QGuiApplication::clipboard()->setMimeData(mime);
    }

    std::vector<std::unique_ptr<CMVDoc>> m_docs;
    std::vector<std::unique_ptr<CMVView>> m_views;
    std::vector<Shown> m_messages;
};

TEST_F(ViewClipboardTest, CopyWritesTheSelectedCuesAsAPaddedCueArrayBlock) {
    CMVView& view = MakeView(5);
    view.SelectRows({1, 3}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_COPY));

    const QByteArray bytes = ClipboardBytes();
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_EQ(bytes.size() % 4096, 0);
    // Count 2, the class header before the first cue, 01 80 before the second.
    EXPECT_TRUE(bytes.startsWith(QByteArray::fromHex("0200ffff01000800") + "CQRecord"));
    const QByteArray first = QByteArray::fromHex("02") + "A1" + QByteArray::fromHex("0000");
    EXPECT_EQ(bytes.mid(16, first.size()), first);
    const QByteArray block = CueArchive::EncodeCueArray({Doc(view).GetCue(1), Doc(view).GetCue(3)});
    // Both bodies have the same length: 16 header bytes, body, 01 80, body.
    const qsizetype body = (block.size() - 16 - 2) / 2;
    const QByteArray second = QByteArray::fromHex("0180") + QByteArray::fromHex("02") + "A3";
    EXPECT_EQ(block.indexOf(second), 16 + body);
    EXPECT_EQ(bytes.left(block.size()), block);
    EXPECT_EQ(bytes.mid(block.size()), QByteArray(bytes.size() - block.size(), '\0'));

    // Copy leaves the list alone.
    EXPECT_EQ(view.GetRowCount(), 5);
    EXPECT_FALSE(Doc(view).IsModified());
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_PASTE), std::optional<bool>(true));
}

TEST_F(ViewClipboardTest, PasteInsertsBeforeTheFirstSelectedRowAndKeepsTheSelection) {
    CMVView& source = MakeView(4, "S");
    source.SelectRows({0, 2}, 0);
    ASSERT_TRUE(source.OnCmdMsg(ID_EDIT_COPY));

    CMVView& target = MakeView(6, "T");
    target.SelectRows({2, 4}, 2);
    ASSERT_TRUE(target.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_EQ(Ids(target), QStringList({"T0", "T1", "S0", "S2", "T2", "T3", "T4", "T5"}));
    EXPECT_EQ(target.GetSelectedRows(), QList<int>({4, 6}));
    EXPECT_TRUE(Doc(target).IsModified());
    // Copies, not the source's records, with every setting.
    EXPECT_NE(target.GetRowCue(2), source.GetRowCue(0));
    EXPECT_EQ(target.GetRowCue(3)->m_nVolume, -2);

    // Nothing selected: at the end, in payload order; twice gives independent copies.
    target.SelectRows({});
    ASSERT_TRUE(target.OnCmdMsg(ID_EDIT_PASTE));
    ASSERT_TRUE(target.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_EQ(Ids(target).mid(8), QStringList({"S0", "S2", "S0", "S2"}));
    EXPECT_NE(target.GetRowCue(8), target.GetRowCue(10));
    EXPECT_TRUE(target.GetSelectedRows().isEmpty());
}

TEST_F(ViewClipboardTest, PasteIntoABlockOfSelectedRowsAndOfAnEmptyArray) {
    CMVView& source = MakeView(2, "S");
    source.selectAll();
    ASSERT_TRUE(source.OnCmdMsg(ID_EDIT_COPY));

    // A contiguous selection: the cues go in before its first row and none of them is selected.
    CMVView& target = MakeView(5, "T");
    target.SelectRows({1, 2, 3}, 1);
    ASSERT_TRUE(target.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_EQ(Ids(target), QStringList({"T0", "S0", "S1", "T1", "T2", "T3", "T4"}));
    EXPECT_EQ(target.GetSelectedRows(), QList<int>({3, 4, 5}));

    // A payload of no cues changes no row but still counts as an edit.
    CMVView& empty = MakeView(2, "E");
    SetClipboardBytes(CueClipboard::PadToBlocks(CueArchive::EncodeCueArray({})));
    ASSERT_TRUE(empty.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Ids(empty), QStringList({"E0", "E1"}));
    EXPECT_TRUE(Doc(empty).IsModified());
}

TEST_F(ViewClipboardTest, CutThenPasteMovesTheCuesToTheEnd) {
    CMVView& view = MakeView(5);
    view.SelectRows({1, 2}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CUT));
    EXPECT_EQ(Ids(view), QStringList({"A0", "A3", "A4"}));
    EXPECT_TRUE(view.GetSelectedRows().isEmpty());
    EXPECT_TRUE(Doc(view).IsModified());
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_EQ(Ids(view), QStringList({"A0", "A3", "A4", "A1", "A2"}));
}

TEST_F(ViewClipboardTest, CutKeepsTheCuesWhenTheClipboardRefusesThem) {
    CMVView& view = MakeView(3);
    SetClipboardBytes("earlier");
    CueClipboard::SetPlaceHookForTesting([] { return false; });
    view.SelectRows({1}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CUT));
    EXPECT_EQ(Ids(view), QStringList({"A0", "A1", "A2"}));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({1}));
    EXPECT_FALSE(Doc(view).IsModified());
    EXPECT_EQ(ClipboardBytes(), "earlier");
}

TEST_F(ViewClipboardTest, PayloadsThatBreakTheFormatInsertNothingAndSaySo) {
    CMVView& view = MakeView(2);
    QByteArray good = CueArchive::EncodeCueArray({Doc(view).GetCue(0), Doc(view).GetCue(1)});
    QByteArray otherClass = good;
    otherClass.replace("CQRecord", "CQRecorD");
    QByteArray badSchema = good;
    badSchema[4] = 2;
    QByteArray hugeCount = QByteArray::fromHex("ffffffffffff") + good.mid(2);
    QByteArray reference = good;
    reference[0] = 3;  // a third entry that is a reference to the first cue
    reference += QByteArray::fromHex("0200");
    const QByteArray cases[] = {"another program's text",
                                good.left(good.size() - 3),
                                otherClass,
                                badSchema,
                                hugeCount,
                                reference,
                                QByteArray()};
    for (const QByteArray& payload : cases) {
        SCOPED_TRACE(payload.toHex().left(40).toStdString());
        m_messages.clear();
        SetClipboardBytes(payload);
        ASSERT_EQ(view.OnUpdateCommand(ID_EDIT_PASTE), std::optional<bool>(true));
        ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].text, "Unexpected file format.");
        EXPECT_EQ(m_messages[0].icon, QMessageBox::Warning);
        EXPECT_EQ(Ids(view), QStringList({"A0", "A1"}));
        EXPECT_FALSE(Doc(view).IsModified());
        EXPECT_EQ(ClipboardBytes(), payload);  // the clipboard keeps its data
    }
    // Bytes after the last record are ignored.
    SetClipboardBytes(good + QByteArray(5000, '\x7f'));
    m_messages.clear();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(view.GetRowCount(), 4);
}

TEST_F(ViewClipboardTest, PasteIsEnabledOnlyWhileTheClipboardHoldsCues) {
    CMVView& view = MakeView(2);
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_PASTE), std::optional<bool>(false));
    QGuiApplication::clipboard()->setText("plain text");
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_PASTE), std::optional<bool>(false));
    view.OnCmdMsg(ID_EDIT_PASTE);
    EXPECT_EQ(view.GetRowCount(), 2);
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_COPY), std::optional<bool>(false));  // no selection
    view.SelectRows({0}, 0);
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_CUT), std::optional<bool>(true));
    view.OnCmdMsg(ID_EDIT_COPY);
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_PASTE), std::optional<bool>(true));
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_PASTE), std::optional<bool>(false));
}

TEST_F(ViewClipboardTest, SixtyFiveThousandFiveHundredThirtyFiveCuesUseTheCountEscape) {
    CMVView& view = MakeView(65535);
    view.selectAll();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_COPY));
    const QByteArray bytes = ClipboardBytes();
    EXPECT_TRUE(bytes.startsWith(QByteArray::fromHex("ffffffff0000ffff0100")));

    CMVView& target = MakeView(1, "T");
    ASSERT_TRUE(target.OnCmdMsg(ID_EDIT_PASTE));
    ASSERT_EQ(target.GetRowCount(), 65536);
    EXPECT_EQ(target.GetRowCue(65535)->m_strID, "A65534");
}

}  // namespace
