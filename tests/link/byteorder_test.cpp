#include <gtest/gtest.h>

#include "link/byteorder.h"
#include "link/typenames.h"

using namespace tessaly;

TEST(ByteOrder, WordsAndDwordsAreLittleEndian) {
    EXPECT_EQ(wordbytes(0x01FE), std::string("\xFE\x01", 2));
    EXPECT_EQ(dwordbytes(0x12345), std::string("\x45\x23\x01\x00", 4));
}

TEST(ByteOrder, PadzeroPadsToWidthAndKeepsLongerTexts) {
    EXPECT_EQ(padzero("ab", 8), std::string("ab\0\0\0\0\0\0", 8));
    EXPECT_EQ(padzero("x", 34).size(), 34u);
    EXPECT_EQ(padzero("x", 34).substr(1), std::string(33, '\0'));
    EXPECT_EQ(padzero("abcdefghi", 8), "abcdefghi");
}

TEST(ByteOrder, ZstringStopsAtZeroOrCount) {
    const std::string bytes("abcd\0ef", 7);
    EXPECT_EQ(zstring(bytes, 1, 8), "abcd");
    EXPECT_EQ(zstring(bytes, 1, 2), "ab");
    EXPECT_EQ(zstring(bytes, 6, 8), "ef");
    EXPECT_EQ(zstring(bytes, 9, 8), "");
    EXPECT_EQ(upstring("main\\x-1z"), "MAIN\\X-1Z");
}

TEST(TypeNames, TableNamesAndReverseLookup) {
    EXPECT_EQ(typename_of(0x12), "program");
    EXPECT_EQ(typename_of(0x01), "");
    EXPECT_EQ(typename_of(0x1F), "folder");
    EXPECT_EQ(typename_of(200), "");
    EXPECT_EQ(typecode_of("text"), 0x0B);
    EXPECT_EQ(typecode_of(""), 30);  // the highest code without a name
}
