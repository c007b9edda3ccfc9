// The cycle stack lives in static storage: 1,000 node ids, no allocation, nothing to release.
#include "runtime/cycles.h"

#include <array>
#include <cstring>

#include "runtime/datatypes/string.h"
#include "runtime/errors.h"

namespace nuv::cycles {

namespace {

std::array<NodeId, kCapacity> g_stack{};
int32_t g_top = 0;

struct Markers {
    const char* mold[kTypeSlots]{};
};

// The molded marker of each type whose series can hold itself; the others write nothing.
consteval Markers build_markers() {
    Markers m;
    auto set = [&m](TypeId t, const char* text) { m.mold[type_index(t)] = text; };
    set(TypeId::Block, "[...]");
    set(TypeId::Hash, "[...]");
    set(TypeId::Paren, "(...)");
    set(TypeId::Map, "#[...]");
    set(TypeId::Object, "make object! [...]");
    set(TypeId::Port, "make object! [...]");
    set(TypeId::Path, "...");
    set(TypeId::LitPath, "...");
    set(TypeId::SetPath, "...");
    set(TypeId::GetPath, "...");
    return m;
}
constexpr Markers kMarkers = build_markers();

// Object-layout values keep their context node in word 1; series keep their node in word 2.
NodeId walked_node(const Cell* value) {
    switch (cell::type_of(value)) {
    case TypeId::Object:
    case TypeId::Error:
    case TypeId::Port: return value->w1;
    default: return cell::node(value);
    }
}

}  // namespace

void push(NodeId node) {
    g_stack[static_cast<size_t>(g_top++)] = node;
    if (g_top >= kCapacity) {
        g_top = 0;
        fire(Err::TooDeep);
    }
}

void pop() {
    if (g_top > 0) g_top--;
}

void drop(int32_t n) { g_top = n >= g_top ? 0 : g_top - (n > 0 ? n : 0); }

void reset() { g_top = 0; }

int32_t depth() { return g_top; }

bool find(NodeId node) {
    for (int32_t i = 0; i < g_top; i++)
        if (g_stack[static_cast<size_t>(i)] == node) return true;
    return false;
}

void gc_mark(void (*mark)(NodeId)) {
    for (int32_t i = 0; i < g_top; i++) mark(g_stack[static_cast<size_t>(i)]);
}

bool detect(const Cell* value, Cell* buffer, int32_t& budget, bool mold) {
    if (!find(walked_node(value))) return false;
    int t = type_index(cell::type_of(value));
    const char* marker = !mold ? "..." : t < kTypeSlots ? kMarkers.mold[t] : nullptr;
    if (marker) {
        string::append_cstr(buffer, marker);
        budget -= static_cast<int32_t>(std::strlen(marker));
    }
    return true;
}

}  // namespace nuv::cycles
