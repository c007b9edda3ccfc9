// object!: a context of kind 2 handed to code as a value. The cell: word 1 the context node,
// word 2 the class id (objects with one class share one field layout), word 3 the node of the
// change-notice record (0 when the object has neither `on-change*` nor `on-deep-change*`).
// The context's owner cell holds a copy of the object cell, so `self` reads the object.
// error! and port! share the layout and most of these operations.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::object {

// An object holds at most this many fields (the record keeps a handler's index in 16 signed
// bits); adding one more raises internal limit-hit.
inline constexpr int32_t kMaxFields = 32767;
// Class ids of new classes count up from here; the first is kFirstClass + 1.
inline constexpr int32_t kFirstClass = 1000000;

// The change-notice record: two cells (pair! headers), [0] for on-change*, [1] for
// on-deep-change*. Word 2: the handler's field index in the high 16 bits (-1: no such field),
// the cells its /local part takes in the low 16 bits; word 3: the handler's spec node when the
// count was taken.
inline constexpr int32_t kOnChange = 0;
inline constexpr int32_t kOnDeepChange = 1;

inline NodeId context_of(const Cell* object) { return object->w1; }
inline int32_t class_of(const Cell* object) { return static_cast<int32_t>(object->w2); }
inline NodeId record_of(const Cell* object) { return object->w3; }
// object!, error! and port!: values with the object layout.
inline constexpr bool has_object_layout(TypeId t) {
    return t == TypeId::Object || t == TypeId::Error || t == TypeId::Port;
}

// The next class id. No allocation.
int32_t new_class();
// Class ids count from the start again: only for a runtime that exits, whose objects are gone.
void forget_classes();

// ---- Reading (no allocation; cells valid until the next allocation) ----

// Word cell #index of the context's word block.
Cell* word_at(NodeId ctx, int32_t index);
// The first value cell of the object.
const Cell* get_values(const Cell* object);
// The field's value cell, or the shared none cell when the object lacks the word.
const Cell* get_by_word(const Cell* object, const Cell* word);
// The field's index (case-insensitive), or -1.
int32_t find_word(const Cell* object, const Cell* word);
int32_t find_symbol(const Cell* object, SymId sym);
int32_t word_count(const Cell* object);
// True when the word's value is an object of the class; when value #index of the context is.
bool is_word_object_of_class(const Cell* word, int32_t class_id);
bool is_field_object_of_class(NodeId ctx, int32_t index, int32_t class_id);

// ---- Making (each allocates) ----

// The cell (not in a collected buffer) becomes an object with a new empty context with room for
// `slots` fields: class 0, no record.
Cell* make_empty(Cell* cell, int32_t slots);
// Appends a field with its value, or sets it when the object has it, without marking it
// changed. The runtime builds its own objects field by field with it. Returns the field index.
int32_t add_field(Cell* object, SymId sym, const Cell* value);
int32_t add_field(Cell* object, const char* name, const Cell* value);
// Pushes an object cell over the context (no record) and stores it in the context's owner cell;
// an empty values series is sized to the word count first.
Cell* push(NodeId ctx, int32_t class_id);
Cell* push_with_owner(NodeId ctx, NodeId record, int32_t class_id);
// Attaches a record built from the given field indexes and /local counts (index -1: no such
// handler) to the object on top of the argument stack; one with an on-deep-change* handler is
// made owner of its series.
void attach_record(NodeId ctx, int32_t change_index, int32_t change_locals, int32_t deep_index,
                   int32_t deep_locals);
// A copy of the prototype in `cell` (not in a collected buffer): a new context with the same
// words, the values copied (series of the block and text kinds copied; functions remade over
// the new object), the class kept. With `deep` other series are copied deeply (a cycle raises
// internal no-cycle); with `types` only values of those types are copied. `finalize` builds the
// record. Returns the cell.
Cell* clone(const Cell* proto, Cell* cell, bool deep, const Cell* types, bool finalize);
// Builds the change-notice record of the object in `cell` (over the context), makes an object
// with an on-deep-change* handler owner of its series, and stores the cell in the owner cell.
// A handler field that holds neither a function nor a routine raises script bad-field-set.
void finalize(Cell* cell, NodeId ctx);
// The `construct` native: a copy of the prototype (deep) or an empty object of a new class;
// each run of set-words of the spec takes the value after it unevaluated (unless `only`, the
// words true yes on / false no off / none become their values). The object lands in `cell`.
Cell* construct(Cell* cell, const Cell* spec, const Cell* proto, bool only);

// ---- Setting fields ----

// `set` with an object target: a block (not `only`) gives field i the block's value i and the
// fields past its end none; an object (not `only`) gives each field the source's field of the
// same name where it has one; anything else goes to every field. An unset value raises script
// need-value unless `any`; with `some` a none value leaves the field alone. Each write marks
// the field changed and sends the change notice. May allocate and run code.
void set_many(Cell* object, const Cell* value, bool any, bool only, bool some);

// ---- Change notices ----

// Calls the object's on-change* handler with the field word, the old and the new value; an
// object without one does nothing, a handler field that holds no function raises script
// invalid-obj-evt. May run code.
void fire_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value);
// The same with the last argument cell as the old value and the one before it as the new.
void fire_on_change_top(const Cell* object, const Cell* word);
// The same for the object the word is bound to.
void word_fire_on_change(const Cell* word, const Cell* field_word);
// Calls on-deep-change* with the object, the field word, the changed series, the action word,
// the new value, the index and the count; an object without a record raises script
// invalid-obj-evt, one without a handler does nothing. Ownership notices arrive here.
void fire_on_deep_change(const Cell* object, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index, int32_t count);

// ---- Slots (shared with error! and port!) ----

// make: a prototype object is cloned (deep), else an empty object made; a spec object's fields
// are merged in; a spec block's set-words become fields and the block is bound and evaluated
// inside the object. The result lands in `proto`.
Cell* make(Cell* proto, Cell* spec, TypeId type);
// reflect: changed class words values body owner events?; the result lands in arguments[0].
void reflect(Cell* value, SymId field);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// The fields one per line at `indent` levels (one blank apart with `flat`), each closed by a
// line feed; the handler fields only with `all`. error! molds its body with it.
int32_t mold_fields(const Cell* value, Cell* buffer, bool all, bool flat, Cell* part,
                    int32_t budget, int32_t indent);
// Fields by word: reading gives the value cell (valid until the next allocation), setting
// writes it and sends the change notice.
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
int32_t compare(Cell* a, Cell* b, CompareOp op);
Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
Cell* put(Cell* target, Cell* key, Cell* value, bool case_);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                   bool any, Cell* with, Cell* skip, bool last, bool reverse);
// modify: `changed` with none clears every changed mark, `owner` makes the object owner of its
// series, `owned` with none releases it or with a block [object word] binds it there.
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_);

// The collector's hook for the object layout (object!, error!): the context, the change-notice
// record and the handler specs the record names.
void mark(const Cell* value);

extern const TypeRecord kRecord;
// Registers object! and installs the ownership notice handler.
void init();

}  // namespace nuv::object
