// Output hooks: registration order, growth past the initial room, removal, the text writer.
#include "runtime/output.h"

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

std::vector<std::string> g_log;

template <int N>
void text_hook(const char* text, size_t length, int32_t encoding) {
    g_log.push_back("t" + std::to_string(N) + ":" + std::string(text, length) + ":" +
                    std::to_string(encoding));
}
template <int N>
void value_hook(const Cell* value, bool new_line) {
    g_log.push_back("v" + std::to_string(N) + ":" + std::to_string(cell::get_int(value)) + ":" +
                    (new_line ? "lf" : "-"));
}

// Each test starts with an empty log.
struct OutputScope {
    OutputScope() { g_log.clear(); }
};

std::string joined() {
    std::string s;
    for (const std::string& e : g_log) s += (s.empty() ? "" : " ") + e;
    return s;
}

TEST(Output, SixTextHooksGrowTheListAndRunInRegistrationOrder) {
    OutputScope scope;
    const output::ListState before = output::text_hooks();
    ASSERT_EQ(before.count, 0);
    output::TextHook hooks[] = {text_hook<1>, text_hook<2>, text_hook<3>,
                                text_hook<4>, text_hook<5>, text_hook<6>};
    for (output::TextHook h : hooks) output::add(nullptr, h);
    // Room for 5 at start; the sixth grows it by 5.
    EXPECT_EQ(output::text_hooks().count, 6);
    EXPECT_EQ(output::text_hooks().capacity, std::max(before.capacity, 10));
    output::call_text("ab", 2, string::kUtf8);
    EXPECT_EQ(joined(), "t1:ab:0 t2:ab:0 t3:ab:0 t4:ab:0 t5:ab:0 t6:ab:0");
    for (output::TextHook h : hooks) output::remove(nullptr, h);
    EXPECT_EQ(output::text_hooks().count, 0);
}

TEST(Output, NoHooksCallNothingAndRemovalClosesTheGap) {
    OutputScope scope;
    Cell v{static_cast<uint32_t>(TypeId::Integer), 0, 42, 0};
    output::call_value(&v, true);
    output::call_text("x", 1, string::kUtf8);
    EXPECT_EQ(joined(), "");

    output::add(value_hook<1>, text_hook<1>);
    output::add(value_hook<2>, nullptr);
    output::add(value_hook<1>, text_hook<2>);
    output::remove(value_hook<1>, nullptr);  // the first occurrence only
    EXPECT_EQ(output::value_hooks().count, 2);
    EXPECT_EQ(output::text_hooks().count, 2);
    output::call_value(&v, true);
    output::call_value(&v, false);
    output::call_text("y", 1, string::kUtf8);
    EXPECT_EQ(joined(), "v2:42:lf v1:42:lf v2:42:- v1:42:- t1:y:0 t2:y:0");

    output::remove(value_hook<2>, text_hook<1>);
    output::remove(value_hook<1>, text_hook<2>);
    output::remove(value_hook<1>, text_hook<2>);  // no longer there: nothing happens
    EXPECT_EQ(output::value_hooks().count, 0);
    EXPECT_EQ(output::text_hooks().count, 0);
}

TEST(Output, TheTextWriterGoesToStandardOutputThenToTheHooks) {
    OutputScope scope;
    output::add(nullptr, text_hook<1>);
    ::testing::internal::CaptureStdout();
    output::write_text("hello\n", 6);
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "hello\n");
    output::remove(nullptr, text_hook<1>);
    EXPECT_EQ(joined(), "t1:hello\n:0");
}

TEST(Output, BuildDateReadsAsADate) {
    EXPECT_TRUE(std::regex_match(output::build_date(),
                                 std::regex(R"([1-9][0-9]?-[A-Z][a-z]{2}-[0-9]{4}/[12]?[0-9]:[0-5][0-9]:[0-5][0-9])")))
        << output::build_date();
}

}  // namespace
}  // namespace nuv
