// The Titanium's USB packets: the codec's edges, and the link's side of them over a
// sequenced-packet socket pair playing the calculator.
#include <gtest/gtest.h>

#include "link/usbpackets.h"

using namespace tessaly;

namespace {

UsbBytes bytes(std::initializer_list<int> list) {
    UsbBytes out;
    for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TEST(UsbCodec, RawPacketsRefuseWhatIsNotOneWholePacket) {
    std::string why;
    const UsbBytes ack = rawbytes({RawType::Ack, bytes({0xE0, 0x00})});
    EXPECT_EQ(ack, bytes({0, 0, 0, 2, 5, 0xE0, 0x00}));
    ASSERT_TRUE(parseraw(ack, kTitaniumBufferSize, &why));
    struct Case {
        UsbBytes raw;
        const char* says;
    } cases[] = {
        {bytes({0, 0, 0}), "cut short"},
        {bytes({0, 0, 0, 4, 4, 1, 2}), "cut short (2 of 4"},
        {bytes({0, 0, 4, 0, 4}), "1024 bytes, more than the agreed buffer size of 1023"},
        {bytes({0, 0, 0, 1, 5, 0xE0, 0x00}), "past the end"},
        {bytes({0, 0, 0, 0, 9}), "unknown type 9"},
    };
    for (const Case& c : cases) {
        why.clear();
        EXPECT_FALSE(parseraw(c.raw, kTitaniumBufferSize, &why));
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
    }
}

TEST(UsbCodec, VirtualPacketsSplitAtTheBufferAndJoinAgain) {
    for (std::size_t size : {0u, 1u, 1017u, 1018u, 3000u}) {
        VirtualPacket packet{vtype::VariableContents, UsbBytes(size)};
        for (std::size_t i = 0; i < size; ++i) packet.data[i] = static_cast<std::uint8_t>(i * 7);
        const auto pieces = splitvirtual(packet, kTitaniumBufferSize);
        ASSERT_EQ(pieces.size(), (size + 6 + kTitaniumBufferSize - 1) / kTitaniumBufferSize) << size;
        VirtualAssembler assembler;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_LE(pieces[i].payload.size(), kTitaniumBufferSize);
            EXPECT_EQ(pieces[i].type, i + 1 == pieces.size() ? RawType::VirtualLast : RawType::VirtualMore);
            const auto got = assembler.take(pieces[i]);
            ASSERT_EQ(got.has_value(), i + 1 == pieces.size());
            if (got) {
                EXPECT_EQ(got->data, packet.data);
                EXPECT_EQ(got->type, vtype::VariableContents);
            }
        }
    }
}

TEST(UsbCodec, AVirtualPacketCutShortOrTooLongIsAnErrorAndTheNextOneStartsAfresh) {
    VirtualAssembler assembler;
    EXPECT_FALSE(assembler.take({RawType::VirtualLast, bytes({0, 0, 0, 4, 0xEE, 0, 0, 0x34})}));
    EXPECT_NE(assembler.error().find("cut short (2 of 4"), std::string::npos) << assembler.error();
    EXPECT_FALSE(assembler.take({RawType::VirtualMore, bytes({0, 0, 0, 1, 0xEE, 0, 1, 2})}));
    EXPECT_NE(assembler.error().find("longer than"), std::string::npos);
    EXPECT_FALSE(assembler.take({RawType::Ack, bytes({0xE0, 0})}));
    EXPECT_FALSE(assembler.error().empty());
    const auto error = assembler.take({RawType::VirtualLast, bytes({0, 0, 0, 2, 0xEE, 0, 0, 0x34})});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->type, vtype::Error);
    EXPECT_NE(usberrortext(usberror::Busy).find("home screen"), std::string::npos);
}

TEST(UsbCodec, ParametersRoundTripAndACutAnswerIsRefused) {
    const std::vector<UsbParameter> params{{usbparam::ProductName, true, bytes({'T', 'I'})},
                                           {usbparam::Battery, false, {}}};
    const UsbBytes data = parameterbytes(params);
    std::string why;
    const auto back = parseparameters(data, &why);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].data, params[0].data);
    EXPECT_FALSE((*back)[1].there);
    EXPECT_FALSE(parseparameters(std::span(data).first(data.size() - 4), &why));
    EXPECT_EQ(parameterrequest(std::vector<std::uint16_t>{0x0002, 0x0022}), bytes({0, 2, 0, 2, 0, 0x22}));
}

} // namespace

// ---------------------------------------------------------------- the link's side

#include <sys/socket.h>
#include <unistd.h>

#include "link/clock.h"
#include "link/ports/usbsocket.h"
#include "link/pump.h"

namespace {

// The computer's Link over one end of a socket pair; the test plays the calculator at the
// other, its answers written before the link asks (the socket keeps them).
struct UsbRig {
    UsbRig() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
        stream = std::make_unique<UsbSocketStream>(fds[0]);
        calc = fds[1];
        link = std::make_unique<Link>(*stream, clock, pump, state);
        link->setdirectusb(true);
        state.linkok = true;
    }
    ~UsbRig() {
        if (calc >= 0) ::close(calc);
    }
    void answer(const RawPacket& raw) {
        const UsbBytes b = rawbytes(raw);
        ::send(calc, b.data(), b.size(), 0);
    }
    void answer(const VirtualPacket& packet, std::uint32_t buffer = kTitaniumBufferSize) {
        for (const RawPacket& piece : splitvirtual(packet, buffer)) answer(piece);
    }
    void grant(std::uint32_t size) { answer({RawType::BufferSizeAnswer, bytes({0, 0, int(size >> 8), int(size & 0xFF)})}); }
    void ack() { answer({RawType::Ack, bytes({0xE0, 0x00})}); }
    // Every transfer the computer made, in order (an empty one is a zero-length packet).
    std::vector<UsbBytes> heard() {
        std::vector<UsbBytes> out;
        UsbBytes buffer(4096);
        for (;;) {
            const ssize_t n = ::recv(calc, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n < 0) return out;
            out.emplace_back(buffer.begin(), buffer.begin() + n);
        }
    }

    SystemClock clock;
    NullPump pump;
    TransferState state;
    std::unique_ptr<UsbSocketStream> stream;
    std::unique_ptr<Link> link;
    int calc = -1;
};

TEST(UsbLink, HandshakeAcknowledgedPiecesDelayAndZeroLengthPackets) {
    UsbRig rig;
    // A grant whose whole pieces fill 16 USB packets: each is followed by a zero-length one.
    const std::uint32_t buffer = 1019;
    rig.grant(buffer);
    VirtualPacket big{vtype::VariableContents, UsbBytes(2500, 0x5A)};
    for (std::size_t i = 0; i < splitvirtual(big, buffer).size(); ++i) rig.ack();
    rig.answer({vtype::DelayAck, bytes({0, 0, 0x03, 0xE8})}, buffer);
    rig.answer({vtype::DataAck, {}}, buffer);
    ASSERT_TRUE(sendvirtual(*rig.link, big)) << rig.state.pendingerror;
    const auto answer = receivevirtual(*rig.link);
    ASSERT_TRUE(answer) << rig.state.pendingerror;
    EXPECT_EQ(answer->type, vtype::DataAck);
    EXPECT_EQ(rig.link->usbbuffersize(), buffer);
    const auto heard = rig.heard();
    ASSERT_EQ(heard.size(), 1u + 3u + 2u + 2u);  // request, 3 pieces, 2 zero-length, 2 acks
    EXPECT_EQ(heard[0], bytes({0, 0, 0, 4, 1, 0, 0, 4, 0}));
    EXPECT_EQ(heard[1].size(), 1024u);
    EXPECT_TRUE(heard[2].empty());
    EXPECT_TRUE(heard[4].empty());
    EXPECT_EQ(heard[5][4], 4);  // the last piece
    EXPECT_EQ(heard[6], rawbytes({RawType::Ack, bytes({0xE0, 0})}));
}

TEST(UsbLink, BadAnswersFailWithAReason) {
    struct Case {
        const char* name;
        void (*calculator)(UsbRig&);
        const char* says;
    } cases[] = {
        {"piece longer than the buffer", [](UsbRig& r) { r.answer({RawType::VirtualLast, UsbBytes(1100)}); },
         "more than the agreed buffer size"},
        {"virtual packet cut short", [](UsbRig& r) { r.answer({RawType::VirtualLast, bytes({0, 0, 0, 9, 0, 0x12, 1})}); },
         "cut short (1 of 9"},
        {"error packet", [](UsbRig& r) { r.answer({vtype::Error, bytes({0x00, 0x34})}); }, "home screen"},
        {"unplugged", [](UsbRig& r) { ::close(r.calc), r.calc = -1; }, "Send bit timeout"},
        {"silent", [](UsbRig&) {}, "did not responded"},
    };
    for (const Case& c : cases) {
        UsbRig rig;
        rig.grant(kTitaniumBufferSize);
        c.calculator(rig);
        EXPECT_FALSE(expectvirtual(*rig.link, vtype::ModeAck, {}, 200)) << c.name;
        EXPECT_FALSE(rig.state.linkok);
        EXPECT_NE(rig.state.pendingerror.find(c.says), std::string::npos) << c.name << ": " << rig.state.pendingerror;
    }
}

} // namespace
