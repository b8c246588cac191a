// The OSC listener with real UDP packets on this machine: who may send, how fast, and what a
// passcode asks of them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>

#include "remote/OscController.h"
#include "view/CommandIds.h"

namespace {

class CountingShow : public IRemoteShow {
public:
    RemoteResult Perform(const RemoteRequest& request, const CommandSource&) override {
        performed.append(request);
        return RemoteResult::Ok();
    }
    ShowStatus GetStatus() const override { return {}; }
    QList<RemoteRequest> performed;
};

// A controller: a UDP socket on 127.0.0.1 that sends to the listener and reads replies.
class Sender {
public:
    explicit Sender(quint16 port) : m_fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(port);
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval timeout{0, 20000};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~Sender() { ::close(m_fd); }
    void Send(const QByteArray& address, const QList<OscArg>& args = {}) {
        const QByteArray packet = osc::EncodeMessage(address, args);
        ::sendto(m_fd, packet.constData(), packet.size(), 0,
                 reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
    }
    // The replies that arrived, by address and text.
    QList<OscMessage> Replies() {
        QList<OscMessage> replies;
        char buffer[2048];
        for (;;) {
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0) break;
            osc::DecodePacket(buffer, static_cast<size_t>(got), &replies);
        }
        return replies;
    }

private:
    int m_fd;
    sockaddr_in m_to{};
};

OscController::Settings Local(const QStringList& allowed = {}, const QString& passcode = {}) {
    OscController::Settings settings;
    settings.enabled = true;
    settings.server.port = 0;
    settings.server.interfaceAddress = "127.0.0.1";
    settings.server.allowedSenders = allowed;
    settings.passcode = passcode;
    return settings;
}

TEST(OscListener, SendersNotAllowedAreIgnoredWithoutAReply) {
    CountingShow show;
    OscController controller(show);
    QString error;
    ASSERT_TRUE(controller.Apply(Local({"10.9.9.9"}), &error)) << error.toStdString();
    Sender sender(controller.GetServer().GetPort());
    sender.Send("/go");
    QTest::qWait(200);
    EXPECT_TRUE(show.performed.isEmpty());
    EXPECT_TRUE(sender.Replies().isEmpty());
    EXPECT_GE(controller.GetServer().GetDroppedCount(), 1u);

    // Allowed now: the same packet is carried out and answered.
    ASSERT_TRUE(controller.Apply(Local({"10.9.9.9", "127.0.0.1"}), &error));
    Sender allowed(controller.GetServer().GetPort());
    allowed.Send("/go");
    ASSERT_TRUE(QTest::qWaitFor([&] { return show.performed.size() == 1; }, 2000));
    QTest::qWait(50);
    const QList<OscMessage> replies = allowed.Replies();
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].address, "/reply/go");
    EXPECT_EQ(replies[0].args[0].s, R"({"status":"ok"})");
}

TEST(OscListener, APasscodeIsAskedOnceAndForgottenWhenItChanges) {
    CountingShow show;
    OscController controller(show);
    QString error;
    ASSERT_TRUE(controller.Apply(Local({}, "pw"), &error));
    Sender sender(controller.GetServer().GetPort());
    sender.Send("/stop");
    sender.Send("/connect", {OscArg::Text("pw")});
    sender.Send("/stop");
    ASSERT_TRUE(QTest::qWaitFor([&] { return show.performed.size() == 1; }, 2000));
    EXPECT_EQ(show.performed[0].command, ID_AUDIO_STOPALL);
    ASSERT_TRUE(controller.Apply(Local({}, "new"), &error));
    sender.Send("/stop");
    QTest::qWait(200);
    EXPECT_EQ(show.performed.size(), 1);
    const QList<OscMessage> replies = sender.Replies();
    ASSERT_EQ(replies.size(), 4);
    EXPECT_TRUE(replies[0].args[0].s.contains("passcode required"));
    EXPECT_TRUE(replies[3].args[0].s.contains("passcode required"));
}

TEST(OscListener, ASenderThatFloodsIsMutedAndLetBackInWhenQuiet) {
    CountingShow show;
    OscController controller(show);
    QString error;
    ASSERT_TRUE(controller.Apply(Local(), &error));
    Sender sender(controller.GetServer().GetPort());
    for (int k = 0; k < 1000; ++k) sender.Send("/go");
    QTest::qWait(300);
    // The burst gets through, then nothing: a flood cannot run the show.
    EXPECT_LE(show.performed.size(), OscServer::kBurstMessages);
    EXPECT_GT(controller.GetServer().GetDroppedCount(), 900u);
    const qsizetype afterFlood = show.performed.size();
    QTest::qWait(OscServer::kMuteMs + 200);
    sender.Send("/go");
    ASSERT_TRUE(QTest::qWaitFor([&] { return show.performed.size() == afterFlood + 1; }, 2000));
}

}  // namespace
