#include "files/filename.h"

#include <gtest/gtest.h>

#include "files/flashfile.h"

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
        {"demo.89K", FileKind::Flash, &kTI89, 'k', false, false},
        {"base.v2u", FileKind::Flash, &kV200, 'u', false, false},
        {"x.92k", FileKind::TiFile, &kTI92, 'k', false, false},  // the TI-92 takes no Flash file
    };
    for (const auto& c : cases) {
        const FileName f = readfilename(c.name);
        EXPECT_EQ(f.kind, c.kind) << c.name;
        EXPECT_EQ(f.model, c.model) << c.name;
        EXPECT_EQ(f.letter, c.letter) << c.name;
        EXPECT_EQ(f.unhandled, c.unhandled) << c.name;
        EXPECT_EQ(f.memorybackup, c.memorybackup) << c.name;
    }
    EXPECT_EQ(readfilename("c.9xq").flashtype, kFlashCertificate);
    EXPECT_EQ(flashsuffix(kTI89Titanium, kFlashApplication), ".89k");
    EXPECT_EQ(flashsuffix(kV200, kFlashOs), ".v2u");
    EXPECT_EQ(flashsuffix(kTI92, kFlashApplication), "");
    EXPECT_EQ(flashsuffix(kTI89, 0x12), "");
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
