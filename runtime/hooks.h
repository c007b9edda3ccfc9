// The calls the core and the datatypes make into the layers above them: evaluating a block,
// calling language code back, loading text. The evaluator and the syntax layer register their
// functions here when they start up; below them nothing includes their headers.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::hooks {

// The kinds of call runtime code makes into language code, as bits (tracing tells them apart);
// each runs under a function frame named for its kind (<anon> for Call and Port).
enum class Callback : uint32_t {
    Call = 0, Lexer = 1, Parse = 2, Compare = 4, Change = 8, DeepChange = 16, Port = 32
};

struct Evaluator {
    // Evaluates the block and pushes its value as a new cell of the current call; returns it.
    Cell* (*do_block)(const Cell* block);
    // Calls a function! with `count` values as its first argument slots (the rest filled as for
    // a call without refinements); the result is pushed as a new cell and returned.
    Cell* (*call_function)(const Cell* function, Callback kind, const Cell* values, int32_t count);
    // Calls a sort or compare comparator (any function value) on two values and answers the
    // order it gives: positive when `a` sorts after `b`.
    int32_t (*call_comparator)(const Cell* comparator, const Cell* a, const Cell* b);
};

struct Syntax {
    // Loads the text (a string! from its index) into a new block in *result. With `failed`
    // given, a syntax error is declined (*failed set, the values made so far kept) instead of
    // raised.
    void (*load_text)(Cell* result, const Cell* text, bool* failed);
};

// The tracing switch: on while a trace run reports events (the evaluator opens and closes runs
// and turns it off around its callback and in bodies that ask so). Tested wherever an event
// may start, so it costs one test when no run is open.
extern bool g_tracing;

struct Tracer {
    // Reports the error being raised to the trace run's callback; a pending exit is kept aside
    // meanwhile. Raises what the callback raises.
    void (*error)(const Cell* error);
};

// A pixel record of the platform's imaging: width x height pixels kept outside collected
// memory, four bytes each in memory order blue, green, red, alpha (straight alpha, 255 opaque);
// `data` is nullptr when either side is 0.
struct PixelRecord {
    int32_t width;
    int32_t height;
    uint8_t* data;
};

struct Imaging {
    // A record with every pixel `argb` (A << 24 | R << 16 | G << 8 | B); a failing allocation
    // raises internal no-memory.
    PixelRecord* (*create)(int32_t width, int32_t height, uint32_t argb);
    // A new record holding the w x h rectangle of `from` at (x, y), kept inside by the caller.
    PixelRecord* (*crop)(const PixelRecord* from, int32_t x, int32_t y, int32_t w, int32_t h);
    // Frees a record: the release callback of the handle kind "image".
    void (*release)(void* record);
};

// The draw engine, for the GUI backend below it.
struct Drawing {
    // Runs a draw block (`commands`, anything but a block! draws nothing) on the window's back
    // buffer (window not 0) or on the image's pixels (image not null), or a window's face into
    // the image (`face_content` with both). With `report` errors are printed and the drawing
    // ends quietly; otherwise they reach the caller once the drawing has ended.
    void (*draw)(uint32_t window, const Cell* image, const Cell* commands, bool layered, bool face_content,
                 bool report);
    // The metric question `type` about a rich-text face's laid-out text (arg0 a position or a
    // point); the answer, a scalar, lands in *result. Allocates.
    void (*text_box_metrics)(const Cell* face, const Cell* arg0, int32_t type, Cell* result);
};

// The GUI's message loop, for `wait` in the evaluator below it.
struct Events {
    // Handles one pending message at most, without waiting; answers whether it handled one.
    // Allocates and raises nothing.
    bool (*do_events)(bool no_wait);
};

// Filled at start-up by the layer that owns each call; every call below goes through them.
extern Events g_events;
extern Imaging g_imaging;
extern Drawing g_drawing;
extern Evaluator g_evaluator;
extern Syntax g_syntax;
extern Tracer g_tracer;

// Each may allocate and raises what the code it runs raises.
inline Cell* do_block(const Cell* block) { return g_evaluator.do_block(block); }
inline Cell* call_function(const Cell* function, Callback kind, const Cell* values, int32_t count) {
    return g_evaluator.call_function(function, kind, values, count);
}
inline int32_t call_comparator(const Cell* comparator, const Cell* a, const Cell* b) {
    return g_evaluator.call_comparator(comparator, a, b);
}
inline void load_text(Cell* result, const Cell* text, bool* failed = nullptr) {
    g_syntax.load_text(result, text, failed);
}

}  // namespace nuv::hooks
