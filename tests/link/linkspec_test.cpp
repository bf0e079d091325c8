#include <gtest/gtest.h>

#include <cstdlib>

#include "link/linkspec.h"

using namespace tessaly;
using Kind = LinkSpec::Kind;

TEST(LinkSpec, AcceptedForms) {
    struct Case {
        const char* text;
        Kind kind;
        const char* path;
        std::uint16_t address;
        std::uint8_t usbbus = 0, usbaddress = 0;
    };
    const Case cases[] = {
        {"virtual", Kind::Virtual, "", 0},
        {"virtual:/tmp/calc.92g", Kind::Virtual, "/tmp/calc.92g", 0},
        {"virtual:with:colon.92g", Kind::Virtual, "with:colon.92g", 0},
        {"socket:/run/user/1/ti92.sock", Kind::Socket, "/run/user/1/ti92.sock", 0},
        {"ppdev:/dev/parport1", Kind::Ppdev, "/dev/parport1", 0},
        {"direct:0x378", Kind::Direct, "", 0x378},
        {"direct:0X3bc", Kind::Direct, "", 0x3BC},
        {"direct:0278", Kind::Direct, "", 0x278},
        {"black:/dev/ttyS0", Kind::Black, "/dev/ttyS0", 0},
        {"black:/dev/serial/by-id/usb-FTDI:x", Kind::Black, "/dev/serial/by-id/usb-FTDI:x", 0},
        {"silver", Kind::Silver, "", 0},
        {"silver:1:5", Kind::Silver, "", 0, 1, 5},
        {"silver:003:127", Kind::Silver, "", 0, 3, 127},
        {"titanium", Kind::Titanium, "", 0},
        {"titanium:2:9", Kind::Titanium, "", 0, 2, 9},
        {"usb-socket:/tmp/t", Kind::UsbSocket, "/tmp/t", 0},
        {"grey:/dev/ttyUSB0", Kind::Grey, "/dev/ttyUSB0", 0},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto spec = parselinkspec(c.text, &error);
        ASSERT_TRUE(spec) << c.text << ": " << error;
        EXPECT_EQ(spec->kind, c.kind) << c.text;
        EXPECT_EQ(spec->path, c.path) << c.text;
        EXPECT_EQ(spec->address, c.address) << c.text;
        EXPECT_EQ(spec->usbbus, c.usbbus) << c.text;
        EXPECT_EQ(spec->usbaddress, c.usbaddress) << c.text;
    }
}

TEST(LinkSpec, VirtualCalculatorOfAModel) {
    std::string error;
    const auto plain = parselinkspec("virtual:ti89", &error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(plain->model, "ti89");
    EXPECT_EQ(plain->path, "");
    const auto kept = parselinkspec("virtual:v200:/tmp/m.v2g", &error);
    ASSERT_TRUE(kept) << error;
    EXPECT_EQ(kept->model, "v200");
    EXPECT_EQ(kept->path, "/tmp/m.v2g");
}

TEST(LinkSpec, RejectedFormsSayWhatIsAccepted) {
    struct Case {
        const char* text;
        const char* mentions;
    };
    const Case cases[] = {
        {"", "virtual, virtual:FILE.92g, socket:PATH, ppdev:/dev/parportN, direct:0x378, black:/dev/ttyS0, grey:/dev/ttyUSB0, silver"},
        {"grey:", "/dev/ttyUSB0"},
        {"serial:/dev/ttyS0", "socket:PATH"},
        {"Virtual", "virtual:FILE.92g"},
        {"virtual:", "TI-92 group file"},
        {"virtual:ti89:", "state file after the model"},
        {"virtual:TI89", "MODEL one of ti92, ti92p, v200, ti89, ti89t"},
        {"virtual:ti83", "MODEL one of ti92, ti92p, v200, ti89, ti89t"},
        {"virtual:ti89.89g", "virtual:MODEL:FILE"},
        {"virtual:ti89:x.92g", "no group file of the TI-89 (.89g)"},
        {"socket:", "socket"},
        {"ppdev:", "/dev/parport0"},
        {"direct:", "0x378"},
        {"direct:0x", "hexadecimal"},
        {"direct:xyz", "hexadecimal"},
        {"direct:0x10000", "hexadecimal"},
        {"direct:0", "hexadecimal"},
        {"direct:0xFFFF", "hexadecimal"},  // no room for its status register
        {"black:", "/dev/ttyS0"},
        {"silver:", "silver:BUS:ADDR"},
        {"silver:1", "lsusb"},
        {"silver:1:0", "silver:BUS:ADDR"},
        {"silver:0:5", "silver:BUS:ADDR"},
        {"silver:1:128", "silver:BUS:ADDR"},
        {"silver:a:b", "silver:BUS:ADDR"},
        {"titanium:1", "titanium:BUS:ADDR"},
        {"usb-socket:", "virtual TI-89 Titanium's USB socket"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parselinkspec(c.text, &error)) << c.text;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.text << " -> " << error;
    }
}

TEST(LinkSpec, EnvironmentChoosesOrFallsBackToThePortList) {
    std::string error;
    unsetenv("TESSALY92_LINK");
    auto spec = linkspecfromenvironment(&error);
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->kind, Kind::Auto);

    setenv("TESSALY92_LINK", "", 1);
    spec = linkspecfromenvironment(&error);
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->kind, Kind::Auto);

    setenv("TESSALY92_LINK", "socket:/tmp/x", 1);
    spec = linkspecfromenvironment(&error);
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->kind, Kind::Socket);

    setenv("TESSALY92_LINK", "cable", 1);
    EXPECT_FALSE(linkspecfromenvironment(&error));
    EXPECT_NE(error.find("TESSALY92_LINK"), std::string::npos) << error;
    unsetenv("TESSALY92_LINK");
}
