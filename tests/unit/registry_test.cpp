// Datatype registry: names, inheritance at registration, dispatch of unsupported actions.
#include "runtime/datatypes/registry.h"

#include "tests/unit/support.h"

namespace nuv {
namespace {

int32_t length_a(Cell*) { return 1; }
int32_t length_b(Cell*) { return 2; }

TEST(Registry, EveryTypeIdIsNamedAfterStartUp) {
    EXPECT_GE(registry::highest_type(), kTypeCount);  // tests may register spare rows above
    for (int t = 1; t <= kTypeCount; t++) {
        auto id = static_cast<TypeId>(t);
        ASSERT_TRUE(registry::is_registered(id)) << t;
        const TypeNameEntry& e = registry::name_entry(id);
        EXPECT_STREQ(e.name, type_name(id));
        EXPECT_EQ(e.length + 1, std::strlen(e.name)) << e.name;
    }
    EXPECT_STREQ(registry::name_entry(TypeId::Block).name, "block!");
    EXPECT_EQ(registry::name_entry(TypeId::Block).length, 5u);
}

TEST(Registry, InheritedSlotIsCopiedAtRegistration) {
    // Two spare rows above the last type id act as parent and child.
    const auto parent = static_cast<TypeId>(55);
    const auto child = static_cast<TypeId>(56);
    registry::register_type(TypeRecord{.id = parent, .parent = TypeId::Invalid, .name = "p!",
                                       .length_q = length_a});
    registry::register_type(TypeRecord{.id = child, .parent = parent, .name = "c!",
                                       .form = kNotSupported, .length_q = kInherited});
    EXPECT_EQ(registry::row(child).length_q, &length_a);
    EXPECT_EQ(registry::row(child).form, nullptr);
    // Re-registering the parent later does not reach the child: it kept what it copied.
    registry::register_type(TypeRecord{.id = parent, .parent = TypeId::Invalid, .name = "p!",
                                       .length_q = length_b});
    EXPECT_EQ(registry::row(child).length_q, &length_a);
    // A slot the parent itself inherited is passed on too.
    registry::register_type(TypeRecord{.id = parent, .parent = child, .name = "p!",
                                       .length_q = kInherited});
    EXPECT_EQ(registry::row(parent).length_q, &length_a);
}

TEST(RegistryDeathTest, InheritedSlotWithoutParentFailsLoudly) {
    EXPECT_EXIT(registry::register_type(TypeRecord{.id = static_cast<TypeId>(55),
                                                   .parent = TypeId::Invalid, .name = "x!",
                                                   .append = kInherited}),
                ::testing::ExitedWithCode(1), "registration failed");
}

TEST(Registry, UnsupportedActionRaisesExpectArg) {
    Cell value{static_cast<uint32_t>(TypeId::Integer), 0, 5, 0};
    EXPECT_RAISES(lookup<&ActionRow::append>(&value, ActionId::Append), Err::ExpectArg);
    ASSERT_EQ(raised().argc, 3);
    EXPECT_EQ(cell::type_of(&raised().args[1]), TypeId::Datatype);
    EXPECT_EQ(raised().args[1].w1, static_cast<uint32_t>(TypeId::Integer));
}

TEST(Registry, ActionWordsFollowTheTable) {
    EXPECT_STREQ(action_word(ActionId::Make), "make");
    EXPECT_STREQ(action_word(ActionId::PathAccess), "path-access");
    EXPECT_STREQ(action_word(ActionId::Write), "write");
    EXPECT_EQ(static_cast<int>(ActionId::Write), kActionCount);
    EXPECT_EQ(err_code(Err::NoValue), 300);
    EXPECT_EQ(err_code(Err::InvalidArg), 309);
    EXPECT_EQ(err_code(Err::OutOfRange), 341);
    EXPECT_EQ(err_code(Err::BadMakeArg), 353);
    EXPECT_EQ(err_code(Err::NbInvalidRecord), 393);
    EXPECT_EQ(err_code(Err::Deprecated), 913);
    EXPECT_STREQ(err_word(Err::InvalidUtf8), "invalid-utf8");
    EXPECT_STREQ(err_category_word(err_category(Err::StackOverflow)), "internal");
}

}  // namespace
}  // namespace nuv
