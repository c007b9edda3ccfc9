#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/platform/services.h"

namespace nuv {
namespace {

TEST(CommandLine, QuotesEmptyArgumentsAndThoseHoldingBlanksOrQuotes) {
    struct Case {
        std::vector<const char*> args;
        std::string want;
    } cases[] = {
        {{"/usr/bin/nuv"}, "/usr/bin/nuv"},
        {{"nuv", "a", "b"}, "nuv a b"},
        {{"nuv", "a b", "c"}, "nuv \"a b\" c"},
        {{"nuv", "a\tb"}, "nuv \"a\tb\""},
        {{"nuv", "say\"hi"}, "nuv \"say\"hi\""},
        {{"nuv", "héllo"}, "nuv héllo"},
        {{"nuv", "x", "y z", "", "3"}, "nuv x \"y z\" \"\" 3"},
        {{"nuv", "a\nb"}, "nuv \"a\nb\""},
        {{"nuv", "\xFF", "a\xC3"}, "nuv \xEF\xBF\xBD a\xEF\xBF\xBD"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(services::command_line(c.args.data(), static_cast<int>(c.args.size())), c.want);
    }
}

}  // namespace
}  // namespace nuv
