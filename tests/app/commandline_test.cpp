#include <gtest/gtest.h>

#include "app/commandline.h"

namespace tessaly::app {
namespace {

struct CommandLineCase {
    std::vector<std::string> parameters;
    std::string path;
    bool install;
};
class CommandLineParsing : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineParsing, PathAndInstallSwitch) {
    const CommandLine cl = parsecommandline(GetParam().parameters);
    EXPECT_EQ(cl.any, !GetParam().parameters.empty());
    EXPECT_EQ(cl.path, GetParam().path);
    EXPECT_EQ(cl.install, GetParam().install);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineParsing,
    ::testing::Values(CommandLineCase{{}, "", false}, CommandLineCase{{"/home/u/game.92p"}, "/home/u/game.92p", false},
                      CommandLineCase{{"/home/u/game.92p", "/i"}, "/home/u/game.92p", true},
                      CommandLineCase{{"-I", "/home/u/game.92p"}, "/home/u/game.92p", true},
                      // a path the shell split at its blanks comes back whole
                      CommandLineCase{{"/home/u/My", "Games/tetris.92p", "/i"}, "/home/u/My Games/tetris.92p", true},
                      // as the file manager's %f hands it over: one argument, every blank kept
                      CommandLineCase{{"/home/u/My  Games /t.92p"}, "/home/u/My  Games /t.92p", false},
                      CommandLineCase{{"/i"}, "", true},
                      // two characters, but not the switch
                      CommandLineCase{{"ab"}, "ab", false}, CommandLineCase{{"/x", "y"}, "/x y", false}));

} // namespace
} // namespace tessaly::app
