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
