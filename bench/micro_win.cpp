// Micro-benchmarks of the window model: messages through the queue (post, take, dispatch) and
// composing a 1280×800 top-level window over 100 painted children.
#include <benchmark/benchmark.h>

#include "host/win/window.h"

namespace {

using namespace nuv::host::win;

LRESULT quiet_proc(HWND h, uint32_t m, intptr_t w, intptr_t l) { return m == WM_USER ? 1 : DefWindowProc(h, m, w, l); }

std::u16string bench_class() {
    static const bool registered = [] {
        WNDCLASS cls;
        cls.name = u"BenchWindow";
        cls.proc = quiet_proc;
        cls.background = 0xFFF0F0F0;
        return RegisterClass(cls);
    }();
    (void)registered;
    return u"BenchWindow";
}

void drain() {
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

// Items are messages: each posted, taken and dispatched.
void BM_WinMessages(benchmark::State& state) {
    HWND h = CreateWindowEx(0, bench_class(), u"", WS_VISIBLE, 0, 0, 10, 10, 0, 0, nullptr);
    drain();
    MSG msg;
    for (auto _ : state) {
        PostMessage(h, WM_USER, 1, 2);
        PeekMessage(&msg, 0, 0, 0, PM_REMOVE);
        benchmark::DoNotOptimize(DispatchMessage(&msg));
    }
    state.SetItemsProcessed(state.iterations());
    DestroyWindow(h);
}
BENCHMARK(BM_WinMessages);

void BM_WinCompose100Children(benchmark::State& state) {
    HWND top = CreateWindowEx(0, bench_class(), u"", WS_VISIBLE, 0, 0, 1280, 800, 0, 0, nullptr);
    for (int i = 0; i < 100; ++i)
        CreateWindowEx(0, bench_class(), u"", WS_CHILD | WS_VISIBLE, (i % 10) * 120, (i / 10) * 75, 140, 90, top, i,
                       nullptr);
    drain();
    Frame frame;
    for (auto _ : state) benchmark::DoNotOptimize(compose_frame(top, &frame));
    DestroyWindow(top);
}
BENCHMARK(BM_WinCompose100Children)->Unit(benchmark::kMillisecond);

}  // namespace
