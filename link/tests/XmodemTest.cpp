// XMODEM file transfer of the link control: the packet rules as tables, then whole transfers
// against a peer scripted by the test on a pty (for the misbehaviour a real program will not
// produce on request), against lrzsz's sx and rx (an independent implementation), and against
// the simulator on a pty and behind a simulated device server.
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "ChildProcess.h"
#include "PtyPair.h"
#include "SimProcess.h"
#include "TempHome.h"
#include "Wait.h"
#include "XmodemBlock.h"
#include "XmodemProgress.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace serlo;
using namespace std::chrono_literals;
using px::testing::SimProcess;
namespace xm = serlo::xmodem;

namespace {

const std::string kCancel = "\x18\x18\x18\x08\x08\x08";

std::string Pattern(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Bit by bit, independent of the library's table.
std::uint16_t RefCrc(std::string_view data)
{
    std::uint16_t crc = 0;
    for (unsigned char c : data) {
        crc ^= static_cast<std::uint16_t>(c << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

std::string Packet(std::uint8_t number, std::string data, bool crc)
{
    data.resize(128, '\0');
    std::string p{char(xm::SOH), char(number), char(255 - number)};
    p += data;
    if (crc) {
        const std::uint16_t v = RefCrc(data);
        p += char(v >> 8);
        p += char(v & 0xFF);
    } else {
        unsigned sum = 0;
        for (unsigned char c : data)
            sum += c;
        p += char(sum & 0xFF);
    }
    return p;
}

bool IsPadding(std::string_view tail)
{
    for (char c : tail)
        if (c != 0 && c != 0x1A) return false;
    return true;
}

// The far side of the line, played on a thread of its own while the control runs a transfer.
class Peer {
public:
    explicit Peer(int fd) : fd_(fd) {}

    // Up to n bytes; fewer when nothing more arrives within timeoutMs.
    std::string Read(std::size_t n, int timeoutMs = 3000)
    {
        std::string got;
        char buf[4096];
        while (got.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) break;
            const ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0) break;
            got.append(buf, static_cast<std::size_t>(r));
        }
        return got;
    }
    int ReadByte(int timeoutMs = 3000)
    {
        const std::string b = Read(1, timeoutMs);
        return b.empty() ? -1 : static_cast<unsigned char>(b[0]);
    }
    void Write(std::string_view bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 3000) <= 0) return;
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
        }
    }
    void Write(std::uint8_t b) { Write(std::string(1, char(b))); }
    // Writes bytes and returns the other side's one-byte answer (empty when none comes).
    std::string Answer(std::string_view bytes)
    {
        Write(bytes);
        return Read(1);
    }
    std::string Answer(std::uint8_t b) { return Answer(std::string(1, char(b))); }
    // The two EOTs that end a transfer, and the answers to them.
    std::string EndTransfer()
    {
        std::string got = Answer(xm::EOT);
        got += Answer(xm::EOT);
        return got;
    }

private:
    int fd_;
};

class XmodemOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        ctrl.SetProperty(dispid::ExtPort, Value::Str(pty.path()));
        ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
        ASSERT_TRUE(ctrl.PortOpen());
        ctrl.Link().SetTransferTimeout(1000);
        ctrl.Advise([this](std::int32_t id, const std::vector<Value>&) {
            if (id == 1 && ctrl.Link().IsTransferring()) ++onCommWhileTransferring;
        });
    }
    std::string Path(const std::string& name) const { return home.dir() + "/" + name; }
    bool PostFile(const std::string& path)
    {
        return ctrl.CallMethod(dispid::PostFile, {Value::Str(path)}).AsBool();
    }
    bool RecvFile(const std::string& path)
    {
        return ctrl.CallMethod(dispid::RecvFile, {Value::Str(path), Value::Bool(false)}).AsBool();
    }
    // The script plays the peer while the call runs on the control's (this) thread.
    bool WithPeer(const std::function<void(Peer&)>& script, const std::function<bool()>& call)
    {
        Peer peer(pty.master());
        std::thread t([&] { script(peer); });
        const bool result = call();
        t.join();
        return result;
    }

    TempHome home;
    PtyPair pty;
    CSerloCtrl ctrl;
    int onCommWhileTransferring = 0;
};

} // namespace

// ---- packet rules ----

TEST(XmodemBlock, CrcTableIsBuiltWhenTheLibraryLoads)
{
    EXPECT_EQ(xm::CrcTableEntry(0), 0);
    EXPECT_EQ(xm::CrcTableEntry(1), 0x1021);
    EXPECT_EQ(xm::CrcTableEntry(0x80), 0x9188);
    EXPECT_EQ(xm::CrcTableEntry(0xFF), 0x1EF0);
    const std::string check = "123456789";
    EXPECT_EQ(xm::Crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x31C3);
    for (unsigned seed = 0; seed < 20; ++seed) {
        const std::string d = Pattern(128, seed);
        EXPECT_EQ(xm::Crc16(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()), RefCrc(d));
    }
}

TEST(XmodemBlock, SealedPacketsHaveTheWireLayout)
{
    for (bool crc : {true, false}) {
        for (int number : {1, 2, 255, 0}) {
            const std::string data = Pattern(128, static_cast<unsigned>(number));
            std::uint8_t packet[xm::kCrcPacketSize] = {};
            std::copy(data.begin(), data.end(), packet + 3);
            const int n = xm::SealPacket(packet, static_cast<std::uint8_t>(number), crc);
            EXPECT_EQ(n, crc ? 133 : 132);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(packet), static_cast<std::size_t>(n)),
                      Packet(static_cast<std::uint8_t>(number), data, crc));
            EXPECT_TRUE(xm::PacketIntact(packet, crc));
        }
    }
}

TEST(XmodemBlock, AnyDamagedByteIsNoticed)
{
    for (bool crc : {true, false}) {
        const std::string good = Packet(7, Pattern(128, 3), crc);
        for (std::size_t i = 0; i < good.size(); ++i) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ 0x10);
            EXPECT_FALSE(xm::PacketIntact(reinterpret_cast<const std::uint8_t*>(bad.data()), crc))
                << "byte " << i << (crc ? " crc" : " sum");
        }
    }
}

TEST(XmodemBlock, BlockNumbersAreOrderedModulo256)
{
    using O = xm::BlockOrder;
    struct Case {
        int number;
        std::uint32_t accepted;
        O order;
    };
    const Case cases[] = {
        {1, 0, O::Next},       {0, 0, O::OutOfOrder},     {2, 0, O::OutOfOrder},
        {2, 1, O::Next},       {1, 1, O::Repeat},         {3, 1, O::OutOfOrder},
        {0, 255, O::Next},     {255, 255, O::Repeat},     {1, 256, O::Next},
        {0, 256, O::Repeat},   {255, 256, O::OutOfOrder}, {100, 8291, O::Next},
        {99, 8291, O::Repeat},
    };
    for (const Case& c : cases)
        EXPECT_EQ(xm::Order(static_cast<std::uint8_t>(c.number), c.accepted), c.order)
            << c.number << " after " << c.accepted;
}

TEST(XmodemBlock, PercentLabelRule)
{
    struct Case {
        int lower, upper, pos;
        const char* text;
    };
    const Case cases[] = {
        {0, 100, 0, "0%"},    {0, 100, 50, "50%"}, {0, 100, 100, "100%"},
        {0, 100, 150, "50%"}, {0, 100, 200, "0%"}, {0, 200, 200, "100%"},
        {0, 3, 1, "33%"},     {10, 20, 15, "50%"}, {0, 0, 0, "0%"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(XmodemProgress::PercentLabel(c.lower, c.upper, c.pos), c.text);
}

TEST(XmodemBlock, HeadlessProgressKeepsItsStateWithoutAWindow)
{
    if (XmodemProgress::GuiAvailable()) GTEST_SKIP() << "a display is available";
    bool cancelled = false;
    XmodemProgress p("Send File...", [&] { cancelled = true; });
    EXPECT_EQ(p.Window(), nullptr);
    EXPECT_EQ(p.PercentText(), " 0 %");
    p.SetRange(0, 4);
    p.SetPos(1);
    p.SetStatus("Send File BLK:0001");
    EXPECT_EQ(p.PercentText(), "25%");
    EXPECT_EQ(p.Status(), "Send File BLK:0001");
    EXPECT_FALSE(cancelled);
}

TEST(XmodemBlock, FileMethodsAreInTheDispatchTable)
{
    const Member* post = FindMember(dispid::PostFile);
    ASSERT_NE(post, nullptr);
    EXPECT_TRUE(post->isMethod);
    EXPECT_EQ(post->type, VType::Bool);
    EXPECT_EQ(post->params, std::vector<VType>{VType::Str});
    const Member* recv = FindMember(dispid::RecvFile);
    ASSERT_NE(recv, nullptr);
    EXPECT_EQ(recv->type, VType::Bool);
    EXPECT_EQ(recv->params, (std::vector<VType>{VType::Str, VType::Bool}));
    EXPECT_EQ(IdOfName("postfile"), 31);
    EXPECT_EQ(IdOfName("RecvFile"), 32);
}

// ---- sending, against a scripted receiver ----

TEST_F(XmodemOnPty, ThreeHundredBytesGoAsThreePacketsAndTwoEots)
{
    const std::string data = Pattern(300, 1);
    WriteFile(Path("out.bin"), data);
    std::vector<std::string> packets;
    std::string ends;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::CRC_REQUEST);
            for (int i = 0; i < 3; ++i) {
                packets.push_back(p.Read(133));
                p.Write(xm::ACK);
            }
            ends += p.Read(1);
            ends += p.Answer(xm::ACK);
        },
        [&] { return PostFile(Path("out.bin")); });
    EXPECT_TRUE(ok);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0], Packet(1, data.substr(0, 128), true));
    EXPECT_EQ(packets[1], Packet(2, data.substr(128, 128), true));
    // The third holds 44 data bytes and 84 zero bytes.
    EXPECT_EQ(packets[2], Packet(3, data.substr(256), true));
    EXPECT_EQ(packets[2].substr(3 + 44, 84), std::string(84, '\0'));
    EXPECT_EQ(ends, "\x04\x04");
    // Three data blocks and the EOT were acknowledged.
    EXPECT_EQ(ctrl.Link().BlockCounter(), 4u);
    // Success sends no cancel sequence, and the link stayed quiet towards the host.
    EXPECT_EQ(Peer(pty.master()).Read(1, 200), "");
    EXPECT_EQ(onCommWhileTransferring, 0);
}

TEST_F(XmodemOnPty, AHundredBytesGoAsOnePaddedPacket)
{
    const std::string data = Pattern(100, 2);
    WriteFile(Path("small.bin"), data);
    std::string packet, ends;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::CRC_REQUEST);
            packet = p.Read(133);
            ends += p.Answer(xm::ACK);
            ends += p.Answer(xm::ACK);
        },
        [&] { return PostFile(Path("small.bin")); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(packet, Packet(1, data, true));
    EXPECT_EQ(ends, "\x04\x04");
}

TEST_F(XmodemOnPty, AReceiverThatAsksWithNakGetsChecksumPackets)
{
    const std::string data = Pattern(200, 3);
    WriteFile(Path("sum.bin"), data);
    std::vector<std::string> packets;
    std::string ends;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::NAK);
            for (int i = 0; i < 2; ++i) {
                packets.push_back(p.Read(132));
                p.Write(xm::ACK);
            }
            // This receiver questions the first EOT.
            ends += p.Read(1);
            ends += p.Answer(xm::NAK);
            p.Write(xm::ACK);
            ends += p.Read(1, 300);
        },
        [&] { return PostFile(Path("sum.bin")); });
    EXPECT_TRUE(ok);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], Packet(1, data.substr(0, 128), false));
    EXPECT_EQ(packets[1], Packet(2, data.substr(128), false));
    EXPECT_FALSE(ctrl.Link().CrcMode());
    EXPECT_EQ(ends.substr(0, 2), "\x04\x04");
}

TEST_F(XmodemOnPty, ANakOfTheFirstPacketKeepsTheCheckTheReceiverChose)
{
    const std::string data = Pattern(100, 4);
    WriteFile(Path("one.bin"), data);
    std::string first, again;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::CRC_REQUEST);
            first = p.Read(133);
            p.Write(xm::NAK);
            again = p.Read(133);
            p.Write(xm::ACK);
            p.Read(1);
            p.Write(xm::ACK);
            p.Read(1);
        },
        [&] { return PostFile(Path("one.bin")); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(first, Packet(1, data, true));
    EXPECT_EQ(again, first);
    EXPECT_TRUE(ctrl.Link().CrcMode());
}

TEST_F(XmodemOnPty, ABlockRefusedWithNakIsRepeatedUnchanged)
{
    const std::string data = Pattern(384, 5);
    WriteFile(Path("nak.bin"), data);
    std::vector<std::string> packets;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::CRC_REQUEST);
            packets.push_back(p.Read(133));
            p.Write(xm::ACK);
            packets.push_back(p.Read(133));
            p.Write(xm::NAK); // the receiver saw it damaged
            packets.push_back(p.Read(133));
            p.Write(xm::ACK);
            for (int i = 0; i < 2; ++i) {
                packets.push_back(p.Read(133));
                p.Write(xm::ACK);
            }
            p.Read(1);
            p.Write(xm::ACK);
            p.Read(1);
        },
        [&] { return PostFile(Path("nak.bin")); });
    EXPECT_TRUE(ok);
    ASSERT_EQ(packets.size(), 5u);
    EXPECT_EQ(packets[1], Packet(2, data.substr(128, 128), true));
    EXPECT_EQ(packets[2], packets[1]);
    EXPECT_EQ(packets[3], Packet(3, data.substr(256, 128), true));
    // A file of whole blocks still ends with one block of padding.
    EXPECT_EQ(packets[4], Packet(4, "", true));
}

TEST_F(XmodemOnPty, TooManyRequestsForOneBlockEndTheSend)
{
    WriteFile(Path("stuck.bin"), Pattern(500, 6));
    int packets = 0;
    std::string tail;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::CRC_REQUEST);
            p.Read(133);
            p.Write(xm::ACK);
            for (;;) {
                const std::string got = p.Read(133, 1000);
                if (got.size() != 133) {
                    tail = got;
                    break;
                }
                ++packets;
                p.Write(xm::NAK);
            }
        },
        [&] { return PostFile(Path("stuck.bin")); });
    EXPECT_FALSE(ok);
    // Block 2 once, then once for each of the NAKs the bound allows.
    EXPECT_EQ(packets, 1 + CJXmodem::kMaxRetries);
    EXPECT_EQ(tail, kCancel);
}

TEST_F(XmodemOnPty, CancelDuringASendEndsItWithTheCancelSequence)
{
    WriteFile(Path("big.bin"), Pattern(200 * 128, 7));
    int packets = 0;
    std::string tail;
    QTimer::singleShot(300ms, &ctrl, [this] { ctrl.CallMethod(dispid::Cancel, {}); });
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::CRC_REQUEST);
            for (;;) {
                const std::string got = p.Read(133, 1000);
                if (got.size() != 133 || got[0] != xm::SOH) {
                    tail = got + p.Read(64, 300);
                    break;
                }
                ++packets;
                std::this_thread::sleep_for(10ms);
                p.Write(xm::ACK);
            }
        },
        [&] { return PostFile(Path("big.bin")); });
    EXPECT_FALSE(ok);
    EXPECT_GT(packets, 1);
    EXPECT_LT(packets, 200);
    // Sent when Cancel is seen and again on the way out.
    EXPECT_EQ(tail, kCancel + kCancel);
}

TEST_F(XmodemOnPty, AReceiverThatVanishesEndsTheSendWithinTheBound)
{
    ctrl.Link().SetTransferTimeout(200);
    WriteFile(Path("gone.bin"), Pattern(1000, 8));
    std::string tail;
    const auto start = px::tickCount();
    std::int64_t ended = 0;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Write(xm::CRC_REQUEST);
            p.Read(133);
            p.Write(xm::ACK);
            p.Read(133);
            tail = p.Read(6, 6000); // then silence
        },
        [&] {
            const bool r = PostFile(Path("gone.bin"));
            ended = px::tickCount();
            return r;
        });
    EXPECT_FALSE(ok);
    EXPECT_GE(ended - start, CJXmodem::kMaxTimeouts * 200 - 50);
    EXPECT_LT(ended - start, 4000);
    EXPECT_EQ(tail, kCancel);
}

TEST_F(XmodemOnPty, AMissingFileIsRefusedWithTheCancelSequence)
{
    EXPECT_FALSE(PostFile(Path("does-not-exist.bin")));
    EXPECT_EQ(Peer(pty.master()).Read(6, 1000), kCancel);
    EXPECT_FALSE(RecvFile(Path("no/such/folder/x.bin")));
    EXPECT_EQ(Peer(pty.master()).Read(6, 1000), kCancel);
}

TEST_F(XmodemOnPty, CancelWhileIdleSendsTheSequenceAtOnce)
{
    ctrl.CallMethod(dispid::Cancel, {});
    EXPECT_EQ(Peer(pty.master()).Read(6, 1000), kCancel);
}

// ---- receiving, against a scripted sender ----

TEST_F(XmodemOnPty, ReceivingAnswersTheTwoEotsWithNakThenAck)
{
    const std::string data = Pattern(300, 9);
    std::string requests, answers, eotAnswers;
    const bool ok = WithPeer(
        [&](Peer& p) {
            // Unanswered, the request is repeated after the time-out.
            requests += p.Read(1);
            requests += p.Read(1, 3000);
            for (int i = 0; i < 3; ++i) {
                answers += p.Answer(
                    Packet(static_cast<std::uint8_t>(i + 1), data.substr(i * 128, 128), true));
            }
            eotAnswers += p.EndTransfer();
        },
        [&] { return RecvFile(Path("in.bin")); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(requests, "CC");
    EXPECT_EQ(answers, "\x06\x06\x06");
    EXPECT_EQ(eotAnswers, "\x15\x06");
    const std::string got = ReadFile(Path("in.bin"));
    // Always whole blocks: the receiver cannot know where the data ended.
    EXPECT_EQ(got.size(), 384u);
    EXPECT_EQ(got.substr(0, 300), data);
    EXPECT_EQ(ctrl.Link().BlockCounter(), 3u);
    EXPECT_EQ(onCommWhileTransferring, 0);
}

TEST_F(XmodemOnPty, AFileThatCannotBeFlushedFailsTheReceiveAndCancelsIt)
{
    // /dev/full takes buffered writes and refuses the flush, as a full disk would after the
    // last block: success must not be reported, and the sender must not get the final ACK.
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const std::string data = Pattern(256, 12);
    std::string answers;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Read(1);
            answers += p.Answer(Packet(1, data.substr(0, 128), true));
            answers += p.Answer(Packet(2, data.substr(128), true));
            answers += p.EndTransfer();
        },
        [&] { return RecvFile("/dev/full"); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(answers, "\x06\x06\x15\x18");
}

TEST_F(XmodemOnPty, ADamagedBlockIsRefusedAndItsRepeatAccepted)
{
    const std::string data = Pattern(256, 10);
    std::string answers;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Read(1);
            answers += p.Answer(Packet(1, data.substr(0, 128), true));
            std::string bad = Packet(2, data.substr(128), true);
            bad[50] = static_cast<char>(bad[50] ^ 1);
            answers += p.Answer(bad);
            answers += p.Answer(Packet(2, data.substr(128), true));
            answers += p.EndTransfer();
        },
        [&] { return RecvFile(Path("damaged.bin")); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(answers, "\x06\x15\x06\x15\x06");
    EXPECT_EQ(ReadFile(Path("damaged.bin")), data);
}

TEST_F(XmodemOnPty, ABlockRepeatedAfterALostAckIsWrittenOnce)
{
    const std::string data = Pattern(256, 11);
    std::string answers;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Read(1);
            answers += p.Answer(Packet(1, data.substr(0, 128), true));
            // The sender missed that ACK and sends block 1 again.
            answers += p.Answer(Packet(1, data.substr(0, 128), true));
            answers += p.Answer(Packet(2, data.substr(128), true));
            answers += p.EndTransfer();
        },
        [&] { return RecvFile(Path("repeat.bin")); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(answers, "\x06\x06\x06\x15\x06");
    EXPECT_EQ(ReadFile(Path("repeat.bin")), data);
}

TEST_F(XmodemOnPty, ABlockOutOfSequenceIsRefused)
{
    const std::string data = Pattern(256, 12);
    std::string answers;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Read(1);
            answers += p.Answer(Packet(1, data.substr(0, 128), true));
            answers += p.Answer(Packet(3, Pattern(128, 99), true));
            answers += p.Answer(Packet(2, data.substr(128), true));
            answers += p.EndTransfer();
        },
        [&] { return RecvFile(Path("order.bin")); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(answers, "\x06\x15\x06\x15\x06");
    EXPECT_EQ(ReadFile(Path("order.bin")), data);
}

TEST_F(XmodemOnPty, ASenderThatGivesUpEndsTheReceive)
{
    const std::string data = Pattern(128, 13);
    std::string tail;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Read(1);
            p.Write(Packet(1, data, true));
            p.Read(1);
            p.Write("\x18\x18");
            tail = p.Read(6, 2000);
        },
        [&] { return RecvFile(Path("given-up.bin")); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(tail, kCancel);
    // The file keeps what was written.
    EXPECT_EQ(ReadFile(Path("given-up.bin")), data);
}

TEST_F(XmodemOnPty, ASenderThatVanishesEndsTheReceiveWithinTheBound)
{
    ctrl.Link().SetTransferTimeout(200);
    std::string after;
    const auto start = px::tickCount();
    std::int64_t ended = 0;
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Read(1);
            p.Write(Packet(1, Pattern(128, 14), true));
            p.Read(1);
            after = p.Read(CJXmodem::kMaxRetries - 1 + 6, 6000);
        },
        [&] {
            const bool r = RecvFile(Path("vanished.bin"));
            ended = px::tickCount();
            return r;
        });
    EXPECT_FALSE(ok);
    // A NAK for every time-out but the last, which ends the transfer.
    EXPECT_EQ(after, std::string(CJXmodem::kMaxRetries - 1, '\x15') + kCancel);
    EXPECT_GE(ended - start, CJXmodem::kMaxRetries * 200 - 50);
    EXPECT_LT(ended - start, 4000);
}

TEST_F(XmodemOnPty, CancelDuringAReceiveEndsIt)
{
    std::string tail;
    QTimer::singleShot(300ms, &ctrl, [this] { ctrl.CallMethod(dispid::Cancel, {}); });
    const bool ok = WithPeer(
        [&](Peer& p) {
            p.Read(1);
            for (int i = 1; i <= 100; ++i) {
                p.Write(Packet(static_cast<std::uint8_t>(i), Pattern(128, i), true));
                const std::string a = p.Read(1, 1000);
                if (a != "\x06") {
                    tail = a + p.Read(64, 300);
                    break;
                }
                std::this_thread::sleep_for(10ms);
            }
        },
        [&] { return RecvFile(Path("cancelled.bin")); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(tail, kCancel + kCancel);
}

TEST_F(XmodemOnPty, ATransferCannotStartInsideAnother)
{
    WriteFile(Path("outer.bin"), Pattern(100, 15));
    bool inner = true;
    QTimer::singleShot(100ms, &ctrl, [&] { inner = PostFile(Path("outer.bin")); });
    const bool ok = WithPeer(
        [&](Peer& p) {
            std::this_thread::sleep_for(300ms);
            p.Write(xm::CRC_REQUEST);
            p.Read(133);
            p.Write(xm::ACK);
            p.Read(1);
            p.Write(xm::ACK);
            p.Read(1);
        },
        [&] { return PostFile(Path("outer.bin")); });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(inner);
}

// ---- against lrzsz ----

namespace {

class XmodemWithLrzsz : public XmodemOnPty {
protected:
    void SetUp() override
    {
        XmodemOnPty::SetUp();
        sx = ChildProcess::find({"sx", "lsx"});
        rx = ChildProcess::find({"rx", "lrx"});
        if (sx.empty() || rx.empty()) GTEST_SKIP() << "lrzsz (sx, rx) is not installed";
    }
    std::unique_ptr<ChildProcess> Start(std::vector<std::string> argv, const std::string& err)
    {
        auto child = std::make_unique<ChildProcess>(std::move(argv), relay.programEnd(), home.dir(),
                                                    Path(err));
        EXPECT_TRUE(child->started());
        return child;
    }
    std::unique_ptr<ChildProcess> StartSx(const std::string& file)
    {
        return Start({sx, "-b", file}, "sx.err");
    }

    LineRelay relay{pty.master()};
    std::string sx, rx;
};

} // namespace

TEST_F(XmodemWithLrzsz, PostFileToRxInCrcMode)
{
    const std::string data = Pattern(300, 20);
    WriteFile(Path("src.bin"), data);
    auto peer = Start({rx, "-c", "-b", "dst.bin"}, "rx.err");
    EXPECT_TRUE(PostFile(Path("src.bin")));
    EXPECT_EQ(peer->wait(10000), 0) << peer->errors();
    EXPECT_TRUE(ctrl.Link().CrcMode());
    const std::string got = ReadFile(Path("dst.bin"));
    ASSERT_EQ(got.size(), 384u);
    EXPECT_EQ(got.substr(0, 300), data);
    EXPECT_EQ(got.substr(300), std::string(84, '\0'));
}

TEST_F(XmodemWithLrzsz, PostFileToRxInChecksumMode)
{
    const std::string data = Pattern(100, 21);
    WriteFile(Path("src.bin"), data);
    auto peer = Start({rx, "-b", "dst.bin"}, "rx.err");
    EXPECT_TRUE(PostFile(Path("src.bin")));
    EXPECT_EQ(peer->wait(10000), 0) << peer->errors();
    EXPECT_FALSE(ctrl.Link().CrcMode());
    const std::string got = ReadFile(Path("dst.bin"));
    ASSERT_EQ(got.size(), 128u);
    EXPECT_EQ(got.substr(0, 100), data);
}

TEST_F(XmodemWithLrzsz, RecvFileFromSx)
{
    const std::string data = Pattern(300, 22);
    WriteFile(Path("src.bin"), data);
    auto peer = StartSx("src.bin");
    EXPECT_TRUE(RecvFile(Path("dst.bin")));
    EXPECT_EQ(peer->wait(10000), 0) << peer->errors();
    const std::string got = ReadFile(Path("dst.bin"));
    ASSERT_EQ(got.size(), 384u);
    EXPECT_EQ(got.substr(0, 300), data);
    EXPECT_TRUE(IsPadding(got.substr(300)));
}

TEST_F(XmodemWithLrzsz, AMebibyteToRxAndBackFromSxArrivesIntact)
{
    const std::string data = Pattern(1 << 20, 23);
    WriteFile(Path("src.bin"), data);
    auto t0 = px::tickCount();
    {
        auto peer = Start({rx, "-c", "-b", "mid.bin"}, "rx.err");
        ASSERT_TRUE(PostFile(Path("src.bin")));
        ASSERT_EQ(peer->wait(20000), 0) << peer->errors();
    }
    const auto sent = px::tickCount() - t0;
    t0 = px::tickCount();
    {
        auto peer = StartSx("mid.bin");
        ASSERT_TRUE(RecvFile(Path("back.bin")));
        ASSERT_EQ(peer->wait(20000), 0) << peer->errors();
    }
    const auto received = px::tickCount() - t0;
    const std::string back = ReadFile(Path("back.bin"));
    ASSERT_GE(back.size(), data.size());
    EXPECT_EQ(back.size() % 128, 0u);
    EXPECT_TRUE(back.compare(0, data.size(), data) == 0);
    EXPECT_TRUE(IsPadding(std::string_view(back).substr(data.size())));
    std::printf("1 MiB: PostFile to rx %lld ms, RecvFile from sx %lld ms\n",
                static_cast<long long>(sent), static_cast<long long>(received));
}

// ---- against the simulator ----

namespace {

std::string UniqueLoopback()
{
    static std::mt19937 rng(static_cast<unsigned>(getpid()) * 2654435761u + 3u);
    std::uniform_int_distribution<int> octet(1, 254);
    return "127." + std::to_string(octet(rng)) + "." + std::to_string(octet(rng)) + "." +
           std::to_string(octet(rng));
}

class XmodemWithSim : public ::testing::Test {
protected:
    void StartPty(std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), "--pty");
        Launch(extra);
        ctrl.SetProperty(dispid::ExtPort, Value::Str(sim->endpoint()));
        ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
        ASSERT_TRUE(ctrl.PortOpen());
    }
    void StartTcp()
    {
        const std::string address = UniqueLoopback();
        Launch({"--tcp", address + ":0"});
        const int port = std::stoi(sim->endpoint().substr(sim->endpoint().rfind(':') + 1));
        ctrl.SetProperty(dispid::iAddress, Value::Str(address));
        ctrl.SetProperty(dispid::iPort, Value::I2(port > 32767 ? port - 65536 : port));
        ctrl.SetProperty(dispid::CommPort, Value::I2(0));
        ctrl.SetProperty(dispid::PortOpen, Value::Bool(true));
        ASSERT_TRUE(ctrl.PortOpen());
    }
    void Launch(std::vector<std::string> args)
    {
        std::filesystem::create_directories(Files());
        args.insert(args.end(), {"--files", Files(), "--xmodem-timeout", "300"});
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->ok());
        ctrl.SetProperty(dispid::VNetTimeout, Value::I4(2000));
        ctrl.Link().SetTransferTimeout(300);
    }
    std::string Files() const { return home.dir() + "/terminal"; }
    std::string Local(const std::string& name) const { return home.dir() + "/" + name; }
    Value Call(std::int32_t id, std::vector<Value> args = {}) { return ctrl.CallMethod(id, args); }
    bool Has(const std::string& line)
    {
        for (const auto& l : sim->lines())
            if (l == line) return true;
        return false;
    }
    // Sends a file to the terminal and brings it back; both must match the source.
    void RoundTrip(const std::string& name, std::size_t size, unsigned seed)
    {
        const std::string data = Pattern(size, seed);
        WriteFile(Local(name), data);
        ASSERT_TRUE(Call(dispid::SendFileReq, {Value::Str(name), Value::I2(0)}).AsBool());
        EXPECT_TRUE(Call(dispid::PostFile, {Value::Str(Local(name))}).AsBool());
        const std::size_t padded = (size / 128 + 1) * 128;
        EXPECT_EQ(sim->waitPrefix("XMODEM DONE " + name),
                  "XMODEM DONE " + name + " " + std::to_string(padded));
        const std::string stored = ReadFile(Files() + "/" + name);
        ASSERT_EQ(stored.size(), padded);
        EXPECT_EQ(stored.substr(0, size), data);

        ASSERT_TRUE(Call(dispid::RecvFileReq, {Value::Str(name), Value::I2(0)}).AsBool());
        const std::string back = Local(name + ".back");
        EXPECT_TRUE(Call(dispid::RecvFile, {Value::Str(back), Value::Bool(false)}).AsBool());
        EXPECT_EQ(sim->waitPrefix("XMODEM DONE " + name), "XMODEM DONE " + name);
        EXPECT_EQ(ReadFile(back), stored);
    }

    TempHome home;
    CSerloCtrl ctrl;
    std::unique_ptr<SimProcess> sim;
};

} // namespace

TEST_F(XmodemWithSim, AFileGoesToTheTerminalAndComesBackInCrcMode)
{
    StartPty();
    RoundTrip("t.bin", 1000, 30);
    EXPECT_TRUE(ctrl.Link().CrcMode());
}

TEST_F(XmodemWithSim, ATerminalAskingWithNakGetsChecksumPackets)
{
    StartPty();
    ASSERT_TRUE(sim->command("xm-checksum on"));
    RoundTrip("s.bin", 700, 31);
    EXPECT_TRUE(Has("XTX NAK"));
}

TEST_F(XmodemWithSim, DamagedBlocksAndLostAcksWhileSending)
{
    StartPty();
    // The terminal finds block 1 damaged, then accepts it but its ACK is lost.
    ASSERT_TRUE(sim->command("xm-corrupt"));
    ASSERT_TRUE(sim->command("xm-drop-ack"));
    RoundTrip("d.bin", 600, 32);
    EXPECT_TRUE(Has("XRX BLOCK 1 bad"));
    EXPECT_TRUE(Has("XRX BLOCK 1 no-ack"));
    EXPECT_TRUE(Has("XRX BLOCK 1 repeat"));
}

TEST_F(XmodemWithSim, DamagedBlocksAndLostAcksWhileReceiving)
{
    StartPty();
    const std::string data = Pattern(1000, 33);
    WriteFile(Files() + "/r.bin", data);
    ASSERT_TRUE(sim->command("xm-corrupt"));
    ASSERT_TRUE(sim->command("xm-drop-ack"));
    ASSERT_TRUE(Call(dispid::RecvFileReq, {Value::Str("r.bin"), Value::I2(0)}).AsBool());
    EXPECT_TRUE(Call(dispid::RecvFile, {Value::Str(Local("r.back")), Value::Bool(false)}).AsBool());
    EXPECT_EQ(sim->waitPrefix("XMODEM DONE r.bin"), "XMODEM DONE r.bin");
    EXPECT_TRUE(Has("XTX BLOCK 1 corrupt"));
    EXPECT_TRUE(Has("XRX ACK ignored"));
    // The block the terminal sent again after the lost ACK is in the file once.
    const std::string got = ReadFile(Local("r.back"));
    ASSERT_EQ(got.size(), 1024u);
    EXPECT_EQ(got.substr(0, 1000), data);
    EXPECT_TRUE(IsPadding(got.substr(1000)));
}

TEST_F(XmodemWithSim, UyAndUnknownFiles)
{
    StartPty();
    WriteFile(Files() + "/y.bin", Pattern(128, 34));
    EXPECT_FALSE(Call(dispid::RecvFileReq, {Value::Str("missing.bin"), Value::I2(0)}).AsBool());
    // The terminal moves a file asked for with "UY" by XMODEM as well.
    ASSERT_TRUE(Call(dispid::RecvFileReq, {Value::Str("y.bin"), Value::I2(1)}).AsBool());
    EXPECT_TRUE(Call(dispid::RecvFile, {Value::Str(Local("y.back")), Value::Bool(true)}).AsBool());
    EXPECT_EQ(ReadFile(Local("y.back")), Pattern(128, 34));
}

TEST_F(XmodemWithSim, ATerminalThatFallsSilentEndsTheSend)
{
    StartPty({"--baud", "9600"}); // 100 blocks take 14 s at this speed
    WriteFile(Local("big.bin"), Pattern(100 * 128, 35));
    ASSERT_TRUE(Call(dispid::SendFileReq, {Value::Str("big.bin"), Value::I2(0)}).AsBool());
    QTimer::singleShot(200ms, &ctrl, [this] { sim->command("silent on", 0ms); });
    const auto start = px::tickCount();
    EXPECT_FALSE(Call(dispid::PostFile, {Value::Str(Local("big.bin"))}).AsBool());
    EXPECT_LT(px::tickCount() - start, 200 + CJXmodem::kMaxTimeouts * 300 + 2000);
}

// The single control bytes ("C", ACK, NAK, EOT, the cancel sequence) reach a device server.
TEST_F(XmodemWithSim, TransfersWorkThroughADeviceServer)
{
    StartTcp();
    RoundTrip("tcp.bin", 2000, 36);
    Call(dispid::Cancel);
    ASSERT_TRUE(Call(dispid::SendFileReq, {Value::Str("c.bin"), Value::I2(0)}).AsBool());
    // The cancel sequence ends the terminal's receive.
    Call(dispid::Cancel);
    EXPECT_EQ(sim->waitPrefix("XMODEM FAIL c.bin"), "XMODEM FAIL c.bin cancelled");
}
