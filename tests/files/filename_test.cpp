#include "files/filename.h"

#include <gtest/gtest.h>

namespace tessaly::test {
namespace {

TEST(FileName, KindModelAndLetterByName) {
    const struct {
        const char* name;
        FileKind kind;
        const CalculatorModel* model;
        char letter;
        bool unhandled, memorybackup;
    } cases[] = {
        {"a.92p", FileKind::TiFile, &kTI92, 'p', false, false},
        {"PACK.89G", FileKind::TiFile, &kTI89, 'g', false, false},
        {"notes.9xt", FileKind::TiFile, &kTI92Plus, 't', false, false},
        {"x.v2g", FileKind::TiFile, &kV200, 'g', false, false},
        {"mem.92B", FileKind::TiFile, &kTI92, 'b', false, true},
        {"mem.89b", FileKind::TiFile, &kTI89, 'b', false, false},  // no memory image on a TI-89
        {"d.92@", FileKind::TiFile, &kTI92, '@', true, false},
        {"read.TXT", FileKind::Text, nullptr, 0, false, false},
        {"mail.uue", FileKind::Uue, nullptr, 0, false, false},
        {"x.92gz", FileKind::TiFile, nullptr, 0, false, false},
        {"ab", FileKind::TiFile, nullptr, 0, false, false},
    };
    for (const auto& c : cases) {
        const FileName f = readfilename(c.name);
        EXPECT_EQ(f.kind, c.kind) << c.name;
        EXPECT_EQ(f.model, c.model) << c.name;
        EXPECT_EQ(f.letter, c.letter) << c.name;
        EXPECT_EQ(f.unhandled, c.unhandled) << c.name;
        EXPECT_EQ(f.memorybackup, c.memorybackup) << c.name;
    }
    EXPECT_TRUE(convertiblename("a.DOC"));
    EXPECT_FALSE(convertiblename("a.92t"));
}

TEST(FileName, EachModelNamesAndTakesItsOwnFiles) {
    for (const CalculatorModel* m : allmodels()) {
        const std::string prefix(m->fileprefix);
        EXPECT_EQ(groupextension(*m), prefix + "g");
        EXPECT_EQ(textextension(*m), prefix + "t");
        EXPECT_EQ(backupextension(*m), prefix + "b");
        for (const CalculatorModel* other : allmodels()) {
            const std::string why = othermodelname("pack." + groupextension(*other), *m);
            EXPECT_EQ(why.empty(), other->signature == m->signature) << m->id << " " << other->id << ": " << why;
        }
        EXPECT_EQ(othermodelname("pack.bin", *m), "");
    }
    EXPECT_EQ(othermodelname("ti89pack.92g", kTI89),
              "ti89pack.92g names a TI-92 file, and the data is a TI-89's: name it .89g.");
}

} // namespace
} // namespace tessaly::test
