// event!: one user-interface event as a value. Word 0 is the header (type 54, bit 0x1000 for a
// made event), word 1 the event type id (1-38), word 3 the flag bits ORed with the key code.
// Word 2 of an event the backend fills from a window message is the index of a message record
// in a ring the backend owns (never an address): a value kept after its message is done reads
// a stale but valid record. Word 2 of a made event is the node of a 4-cell block (face, window,
// offset, picked), or 0 when the spec gave none of them.
#pragma once
#include <cstdint>

#include "gui/backend/names.h"
#include "host/win/window.h"
#include "runtime/cell.h"

namespace nuv::gui::event {

inline constexpr uint32_t kMade = 0x1000;  // header bit of an event made by a script

// X(Enumerator, name-table word), in id order from 1.
#define NUV_EVENT_TYPES(X)                                                                    \
    X(Down, down) X(Up, up) X(MidDown, mid_down) X(MidUp, mid_up) X(AltDown, alt_down)         \
    X(AltUp, alt_up) X(AuxDown, aux_down) X(AuxUp, aux_up) X(Click, click)                     \
    X(DblClick, dbl_click) X(Wheel, wheel) X(Over, over) X(Key, key) X(KeyDown, key_down)      \
    X(KeyUp, key_up) X(Ime, ime) X(Focus, focus) X(Unfocus, unfocus) X(Enter, enter)           \
    X(Zoom, zoom) X(Pan, pan) X(Rotate, rotate) X(TwoTap, two_tap) X(PressTap, press_tap)      \
    X(Select, select) X(Change, change) X(Menu, menu) X(Close, close) X(Move, move)            \
    X(Resize, resize) X(Moving, moving) X(Resizing, resizing) X(Time, time)                    \
    X(Drawing, drawing) X(Scroll, scroll) X(Minimize, minimize) X(Maximize, maximize)          \
    X(Restore, restore)

enum class Type : uint32_t {
    None = 0,  // a made event whose spec was no block
#define NUV_EVENT_ENUM(name, word) name,
    NUV_EVENT_TYPES(NUV_EVENT_ENUM)
#undef NUV_EVENT_ENUM
    Count
};
inline constexpr int32_t kTypeCount = static_cast<int32_t>(Type::Count) - 1;
static_assert(kTypeCount == 38);

// Flag bits of word 3. Bit 27 and bits 16-21 are never flags.
enum Flag : uint32_t {
    kCommand = 0x80000000,
    kAlt = 0x40000000,
    kShift = 0x20000000,
    kControl = 0x10000000,
    kAway = 0x04000000,
    kDown = 0x02000000,
    kMidDown = 0x01000000,
    kAltDown = 0x00800000,
    kAuxDown = 0x00400000,
};
inline constexpr uint32_t kKeyMask = 0xFFFF;       // a UTF-16 code unit or a virtual key
inline constexpr uint32_t kWideKeyMask = 0x1FFFFF;  // a whole code point, with no flags
// The flags a sent key message forces on the keyboard state.
inline constexpr uint32_t kForcedKeyFlags = 0x73C00000;

// Facets by the index `pick` takes.
enum class Facet : int32_t {
    Type = 1, Face, Window, Offset, Key, Picked, Flags,
    IsAway, IsDown, IsMidDown, IsAltDown, IsAuxDown, IsCtrl, IsShift, Orientation,
};
inline constexpr int32_t kFacetCount = 15;

// ---- The cell ----

inline bool is_made(const Cell* e) { return (e->header & kMade) != 0; }
inline Type type_of(const Cell* e) { return static_cast<Type>(e->w1); }
inline uint32_t flags_of(const Cell* e) { return e->w3; }
inline NodeId block_of(const Cell* e) { return is_made(e) ? e->w2 : 0; }  // made events only
inline uint32_t record_of(const Cell* e) { return e->w2; }                // OS events only

// Fills `c` as an event of a window message: header 54 without the made bit, the type, the
// index of a record answered by keep_message, and word 3. Allocates nothing.
void set_os(Cell* c, Type type, uint32_t record, uint32_t word3);

// ---- Message records ----

inline constexpr uint32_t kRecordCount = 64;  // a power of two
// Copies the message into the next record of the ring and answers its index. The ring lives
// for the process; a record is overwritten only kRecordCount messages later.
uint32_t keep_message(const host::win::MSG& message);
// The record at an index (any index: it is taken modulo the ring). A window procedure may write
// the record of the event it raises.
host::win::MSG& message(uint32_t record);

// ---- Lookups ----

// The word of an event type (none's cell for Type::None or an id out of range).
const Cell* type_word(Type type);
// The type a word names (any word type, compared through its canonical symbol); script
// not-event-type naming the word when it names none.
Type type_of_word(const Cell* word);
// The bit a flag word names, 0 for an unknown word.
uint32_t flag_bit(const Cell* word);

// ---- What dispatch lends event values ----

// The facets of an operating-system event that need the input state and the window model
// (face, window, offset, key and picked) and the sending of a made event as a window message.
// Dispatch installs both at start-up. Until then an OS event reads none for those facets and
// nothing is sent.
struct Dispatch {
    // Pushes the facet's value on the argument stack and answers it. May allocate.
    const Cell* (*os_facet)(const Cell* event, Facet facet) = nullptr;
    // The made event as a window message to its face's window; true when one was produced.
    bool (*send)(const Cell* event, bool queued) = nullptr;
};
inline Dispatch g_dispatch;

// ---- Facets ----

// Pushes the facet's value on the argument stack and answers it. Allocates (`flags` refills
// the shared flag block).
const Cell* facet(const Cell* event, Facet facet);
// The shared block the `flags` facet answers, refilled at each read: a collector mark hook
// keeps it (added once per process by keep_flag_block, which start-up calls).
void keep_flag_block();

// The window a made event targets: its face's `state` block's first handle!, else 0.
uint32_t target_window(const Cell* event);

// ---- Start-up ----

// The boot step `event-type`: registers event! with its actions and binds event?,
// send-event-os and find-flag?. Resets the message ring and the flag block. Allocates.
void init();

}  // namespace nuv::gui::event
