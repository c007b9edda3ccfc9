// Micro-benchmark of the message loop: a character message injected as input, taken by the loop,
// turned into a `key` event by its pre-dispatch and handed to system/view/awake, which answers
// none. Items are events.
#include <benchmark/benchmark.h>

#include <string_view>

#include "boot/boot_units.h"
#include "gui/backend/loop.h"
#include "host/win/window.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/resource_slots.h"
#include "runtime/roots.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/words.h"

namespace {

using namespace nuv;
namespace win = host::win;

// Evaluates the text under a try frame; the value is dropped.
void eval(std::string_view text) {
    const stack::Mark mark;
    Cell* code = stack::push(none::shared());
    lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    frames::Owner guard(&words::w::anon, frames::kTry);
    guard.run([&] { interp::do_block(code); });
    mark.restore();
}

void start() {
    static const bool started = [] {
        runtime::init();
        boot_units::run();
        roots::set_collector_on(true);
        roots::set_auto_root(false);
        eval("system/view/awake: func [event /with face] [none] "
             "face: object [type: 'base offset: 0x0 size: 100x100 text: image: color: menu: data: enabled?: "
             "visible?: selected: flags: options: parent: pane: state: rate: edge: para: font: actors: extra: "
             "draw: changed: deep-changed: tabs: line-spacing: handles: none]");
        return true;
    }();
    (void)started;
}

win::LRESULT face_proc(win::HWND h, uint32_t m, intptr_t w, intptr_t l) { return win::DefWindowProc(h, m, w, l); }

void BM_LoopKeyEvents(benchmark::State& state) {
    start();
    win::WNDCLASS cls;
    cls.name = u"BenchLoopFace";
    cls.proc = face_proc;
    win::RegisterClass(cls);
    const win::HWND h = win::CreateWindowEx(0, cls.name, u"", win::WS_VISIBLE, 0, 0, 100, 100, 0, 0, nullptr);
    // The window shows the face, as face creation makes it.
    const int32_t slot = resource_slots::store(context::global_slot(symbol::make_cstr("face")));
    win::GetWindowExtra(h)->face_slot = static_cast<uint32_t>(slot);
    while (gui::loop::do_events(true)) {
    }
    for (auto _ : state) {
        win::post_input(win::MSG{h, win::WM_CHAR, 'a', 0, 0, {}});
        benchmark::DoNotOptimize(gui::loop::do_events(true));
    }
    state.SetItemsProcessed(state.iterations());
    win::DestroyWindow(h);
    resource_slots::free(slot);
}
BENCHMARK(BM_LoopKeyEvents);

}  // namespace
