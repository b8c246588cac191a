// OSC decoding, address mapping and sender checks: what a lighting desk or a hostile network
// may send, and what it must do.
#include <gtest/gtest.h>

#include "remote/OscAddressMap.h"
#include "remote/OscMessage.h"
#include "remote/OscServer.h"
#include "view/CommandIds.h"

namespace {

std::optional<RemoteRequest> Map(const char* address, QList<OscArg> args = {},
                                 QString* error = nullptr) {
    OscMessage message;
    message.address = address;
    message.args = std::move(args);
    return osc::MapMessage(message, error);
}

TEST(OscPacket, RoundTripsTextsAndNumbersAndWalksBundles) {
    const QByteArray bytes =
        osc::EncodeMessage("/connect", {OscArg::Text("s3cret"), OscArg::Int(-7)});
    QList<OscMessage> out;
    ASSERT_TRUE(osc::DecodePacket(bytes.constData(), bytes.size(), &out));
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].address, "/connect");
    ASSERT_EQ(out[0].args.size(), 2);
    EXPECT_EQ(out[0].args[0].s, "s3cret");
    EXPECT_EQ(out[0].args[1].i, -7);

    // A bundle of two messages, one nested in a bundle of its own.
    auto element = [](const QByteArray& body) {
        const quint32 n = static_cast<quint32>(body.size());
        QByteArray e;
        e.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
        return e + body;
    };
    const QByteArray header("#bundle\0\0\0\0\0\0\0\0\1", 16);
    const QByteArray go = osc::EncodeMessage("/go", {});
    const QByteArray packet = header + element(go) + element(header + element(go));
    out.clear();
    ASSERT_TRUE(osc::DecodePacket(packet.constData(), packet.size(), &out));
    EXPECT_EQ(out.size(), 2);
}

TEST(OscPacket, RefusesWhatIsNotOscWithoutAddingAnything) {
    QList<OscMessage> out;
    const QByteArray go = osc::EncodeMessage("/go", {});
    const QByteArray header("#bundle\0\0\0\0\0\0\0\0\1", 16);
    // An element longer than the bundle, a message cut short, no address, a bundle nested too
    // deep, a bundle with more messages than allowed.
    QByteArray lying = header + QByteArray("\x40\0\0\0", 4) + go;
    QByteArray deep = go;
    for (int d = 0; d <= osc::kMaxBundleDepth; ++d) {
        const quint32 n = static_cast<quint32>(deep.size());
        deep =
            header + QByteArray(1, char(n >> 24)) + char(n >> 16) + char(n >> 8) + char(n) + deep;
    }
    QByteArray many = header;
    for (int k = 0; k <= osc::kMaxMessagesPerPacket; ++k)
        many += QByteArray("\0\0\0", 3) + char(go.size()) + go;
    for (const QByteArray& bad : {lying, go.left(go.size() - 4), QByteArray("go\0\0,\0\0\0", 8),
                                  deep, many, QByteArray(70000, '/')}) {
        EXPECT_FALSE(osc::DecodePacket(bad.constData(), bad.size(), &out));
    }
    EXPECT_TRUE(out.isEmpty());
}

TEST(OscAddressMap, EveryAddressMapsToItsCommandIgnoringLetterCase) {
    EXPECT_EQ(Map("/GO")->command, ID_AUDIO_GO);
    EXPECT_EQ(Map("/stop")->command, ID_AUDIO_STOPALL);
    EXPECT_EQ(Map("/panic")->kind, RemoteRequest::Kind::Panic);
    const auto start = Map("/Cue/q030/START");
    EXPECT_EQ(start->kind, RemoteRequest::Kind::StartCue);
    EXPECT_EQ(start->cueId, "q030");
    EXPECT_EQ(Map("/cue/A/B/stop")->cueId, "A/B");
    EXPECT_EQ(Map("/cue/Q1/fadeout")->kind, RemoteRequest::Kind::FadeOutCue);
    EXPECT_EQ(Map("/playhead/Q1")->kind, RemoteRequest::Kind::SelectCue);
    const auto live = Map("/live/volumeDown", {OscArg{'f', 0, 2.0, {}}});
    EXPECT_EQ(live->command, ID_AUDIO_VOLDOWN);
    EXPECT_EQ(live->target, RemoteRequest::kAll);
    EXPECT_EQ(Map("/live/speedup")->target, RemoteRequest::kCurrent);
    EXPECT_FALSE(Map("/updates", {OscArg::Int(0)})->on);
    EXPECT_EQ(Map("/connect", {OscArg::Text("pw")})->text, "pw");
}

TEST(OscAddressMap, WrongAddressesAndArgumentsSayWhy) {
    QString error;
    EXPECT_FALSE(Map("/gone", {}, &error));
    EXPECT_EQ(error, "unknown address");
    EXPECT_FALSE(Map("/go", {OscArg::Int(1)}, &error));
    EXPECT_FALSE(Map("/live/kill", {OscArg::Int(3)}, &error));
    EXPECT_EQ(error, "target must be 0, 1 or 2");
    EXPECT_FALSE(Map("/live/kill", {OscArg{'f', 0, 0.5, {}}}, &error));
    EXPECT_FALSE(Map("/cue//start", {}, &error));
    EXPECT_FALSE(
        Map(QByteArray("/cue/" + QByteArray(100, 'x') + "/start").constData(), {}, &error));
    EXPECT_EQ(error, "cue ID too long");
    EXPECT_FALSE(Map("/connect", {}, &error));
    EXPECT_FALSE(Map("/live/fadeIn/extra", {}, &error));
}

TEST(OscAddressMap, ForwardedRequestsMapBackToThemselves) {
    for (const char* address : {"/go", "/stop", "/panic", "/cue/Q010/start", "/cue/Q010/stop",
                                "/cue/Q010/fadeOut", "/select/Q010"}) {
        const auto request = Map(address);
        ASSERT_TRUE(request) << address;
        EXPECT_EQ(osc::MessageFor(*request).address, QByteArray(address));
    }
    const auto live = Map("/live/kill", {OscArg::Int(1)});
    const auto again = osc::MapMessage(osc::MessageFor(*live), nullptr);
    EXPECT_EQ(again->command, ID_AUDIO_KILL);
    EXPECT_EQ(again->target, RemoteRequest::kOthers);
}

TEST(OscServer, AllowedSendersCompareAddressesNotTexts) {
    EXPECT_TRUE(OscServer::IsAllowed("10.0.0.5", {}));
    EXPECT_TRUE(OscServer::IsAllowed("10.0.0.5", {" 10.0.0.5 "}));
    EXPECT_TRUE(OscServer::IsAllowed("10.0.0.5", {"::ffff:10.0.0.5"}));
    EXPECT_TRUE(OscServer::IsAllowed("fe80::1", {"FE80:0::1"}));
    EXPECT_FALSE(OscServer::IsAllowed("10.0.0.50", {"10.0.0.5"}));
    EXPECT_FALSE(OscServer::IsAllowed("not-an-address", {"10.0.0.5", "junk"}));
}

}  // namespace
