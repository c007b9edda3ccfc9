// Event values of window messages: the facets read from their message record, a value kept
// after its record was reused (stale, never freed), the facets and the sending that dispatch
// lends, and send-event-os reaching the sending only for a face that has a window.
#include <gtest/gtest.h>

#include "gui/backend/event.h"
#include "host/win/messages.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/symbol.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui {
namespace {

namespace win = host::win;
using event::Type;

// The global word `oe` set to an event of the message.
void set_os_event(Type type, uint32_t message, uint32_t word3) {
    win::MSG m;
    m.hwnd = 0;
    m.message = message;
    Cell e;
    event::set_os(&e, type, event::keep_message(m), word3);
    context::set_global(symbol::make_cstr("oe"), &e);
}

// Dispatch's part replaced for one test, restored after it.
class GuiEvent : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = event::g_dispatch; }
    void TearDown() override { event::g_dispatch = saved_; }
    event::Dispatch saved_;
};

TEST_F(GuiEvent, FacetsOfAMessagesEvent) {
    event::g_dispatch.os_facet = nullptr;
    struct Row {
        Type type;
        uint32_t message;
        uint32_t word3;
        const char* wanted;
    };
    const Row rows[] = {
        {Type::Scroll, win::WM_VSCROLL, event::kDown | event::kControl,
         "[scroll vertical [down control] true true false]"},
        {Type::Scroll, win::WM_HSCROLL, 0, "[scroll horizontal [] false false false]"},
        {Type::KeyDown, win::WM_KEYDOWN, event::kShift | event::kAway | 'A', "[key-down none [away shift] false false true]"},
        {Type::Resize, win::WM_SIZE, event::kCommand, "[resize none [] false false false]"},
    };
    for (const Row& r : rows) {
        set_os_event(r.type, r.message, r.word3);
        test::check_cases({{"reduce [oe/type oe/orientation oe/flags oe/ctrl? pick oe 9 oe/shift?]", r.wanted}});
    }
    // Without dispatch's part, what it computes reads none; made or not, form and mold agree.
    test::check_cases({
        {"reduce [oe/face oe/window oe/offset oe/key oe/picked]", "[none none none none none]"},
        {"reduce [form oe mold oe event? oe oe = make event! []]", "[\"event\" \"event\" true true]"},
    });
}

// A kept value whose record a later message took reads that message: stale, never freed.
TEST_F(GuiEvent, AKeptEventReadsAStaleRecord) {
    set_os_event(Type::Scroll, win::WM_VSCROLL, 0);
    test::check_cases({{"kept: oe kept/orientation", "vertical"}});
    win::MSG later;
    later.message = win::WM_HSCROLL;
    for (uint32_t i = 0; i < event::kRecordCount; i++) event::keep_message(later);
    test::check_cases({{"reduce [kept/type kept/orientation]", "[scroll horizontal]"}});
    EXPECT_EQ(event::message(event::kRecordCount + 3).message, static_cast<uint32_t>(win::WM_HSCROLL));
}

const Cell* facet_index(const Cell*, event::Facet facet) { return integer::push(static_cast<int32_t>(facet)); }

TEST_F(GuiEvent, DispatchComputesTheMessageFacets) {
    event::g_dispatch.os_facet = facet_index;
    set_os_event(Type::Down, win::WM_LBUTTONDOWN, event::kDown);
    test::check_cases({
        {"reduce [oe/face oe/window oe/offset oe/key oe/picked pick oe 'key oe/type]", "[2 3 4 5 6 5 down]"},
        // a made event never asks
        {"m: make event! [key: #\"x\"] reduce [m/face m/key m/picked]", "[none #\"x\" 0]"},
    });
}

int g_sent = 0;
bool g_queued = false;
bool sending(const Cell* e, bool queued) {
    g_sent++;
    g_queued = queued;
    return event::target_window(e) == 7;
}

TEST_F(GuiEvent, SendEventOsNeedsAFaceWithAWindow) {
    event::g_dispatch.send = sending;
    g_sent = 0;
    {
        test::StackScope scope;
        context::set_global(symbol::make_cstr("h7"), handle::push(7, handle::Kind::Window));
    }
    test::check_cases({
        {"f: object [type: 'base offset: 0x0 size: 10x10 text: image: color: menu: data: enabled?: visible?: "
         "selected: flags: options: parent: pane: state: none] 0",
         "0"},
        {"send-event-os make event! [type: 'down] true", "false"},
        {"send-event-os make event! compose [type: 'down face: (f)] true", "false"},
        {"send-event-os make event! compose [type: 'down face: (make f [state: reduce [0 0]])] true", "false"},
    });
    EXPECT_EQ(g_sent, 0);
    test::check_cases({
        {"send-event-os make event! compose [type: 'key key: #\"a\" face: (make f [state: reduce [h7 0 none false]])] "
         "true",
         "true"},
    });
    EXPECT_EQ(g_sent, 1);
    EXPECT_TRUE(g_queued);
    test::check_cases({{"send-event-os make event! compose [face: (make f [state: reduce [h7]])] false", "true"}});
    EXPECT_EQ(g_sent, 2);
    EXPECT_FALSE(g_queued);
}

}  // namespace
}  // namespace nuv::gui
