// runtime-init: one table of module initialisers run in order, each step using what the
// earlier ones made. A module that is not built yet has no step; a datatype whose module is
// not built yet is registered by name and parent only, with every slot empty.
#include "runtime/runtime.h"

#include <pthread.h>

#include <iterator>

#include "runtime/case_fold.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_kin.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/triple.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions_table.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/evaluator/parse.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/units.h"
#include "runtime/frames.h"
#include "runtime/handles.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/os.h"
#include "runtime/output.h"
#include "runtime/platform/clipboard.h"
#include "runtime/platform/deflate.h"
#include "runtime/platform/files.h"
#include "runtime/platform/http.h"
#include "runtime/platform/nuvbin.h"
#include "runtime/platform/pixels.h"
#include "runtime/platform/process.h"
#include "runtime/platform/services.h"
#include "runtime/ownership.h"
#include "runtime/random.h"
#include "runtime/resource_slots.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/watch.h"
#include "runtime/syntax/lexer.h"
#include "runtime/syntax/start_texts.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::runtime {

namespace {

// Registration order: parents before children (not the order of the ids).
struct TypeStep {
    TypeId id;
    TypeId parent;
    void (*init)();  // the module's init; nullptr while the module is not built
};

// A type that the previous step's module registers together with its own.
void by_previous_step() {}

// The imaging hooks come first: image! registers their release for the handle kind "image".
void start_images() {
    pixels::init();
    image::init();
}

using T = TypeId;
constexpr TypeStep kTypeSteps[] = {
    {T::Datatype, T::Invalid, datatype::init}, {T::Unset, T::Invalid, unset::init},
    {T::None, T::Invalid, none::init},     {T::Logic, T::Invalid, logic::init},
    {T::Series, T::Invalid, series::init},   {T::Block, T::Series, block::init},
    {T::String, T::Series, string::init},    {T::Binary, T::String, binary::init},
    {T::Integer, T::Invalid, integer::init},  {T::Symbol, T::Invalid, symbol::init},
    {T::Context, T::Invalid, context::init},  {T::Word, T::Symbol, word::init},
    {T::LitWord, T::Word, by_previous_step},     {T::SetWord, T::Word, by_previous_step},
    {T::GetWord, T::Word, by_previous_step},     {T::Refinement, T::Word, by_previous_step},
    {T::Char, T::Integer, character::init},     {T::Native, T::Invalid, native::init},
    {T::Action, T::Native, by_previous_step},    {T::Op, T::Native, by_previous_step},
    {T::Path, T::Block, path::init},       {T::LitPath, T::Path, by_previous_step},
    {T::SetPath, T::Path, by_previous_step},     {T::GetPath, T::Path, by_previous_step},
    {T::Function, T::Context, function::init}, {T::Routine, T::Function, routine::init},
    {T::Paren, T::Block, path::init_paren},      {T::Issue, T::Word, issue::init},
    {T::Url, T::String, text_kin::init_url},       {T::File, T::Url, text_kin::init_file},
    {T::Object, T::Invalid, object::init},   {T::Bitset, T::Invalid, bitset::init},
    {T::Triple, T::Invalid, triple::init},   {T::Float, T::Invalid, floating::init},
    {T::Typeset, T::Invalid, typeset::init},  {T::Error, T::Object, error::init},
    {T::Vector, T::String, vector::init},    {T::Map, T::Invalid, map::init},
    {T::Hash, T::Block, hash_block::init},     {T::Pair, T::Invalid, pair::init},
    {T::Percent, T::Float, percent::init},    {T::Tuple, T::Invalid, tuple::init},
    {T::Time, T::Float, time_value::init},       {T::Tag, T::String, text_kin::init_tag},
    {T::Email, T::String, text_kin::init_email},     {T::Handle, T::Integer, handle::init},
    {T::Date, T::Invalid, date::init}, {T::Port, T::Object, port::init},
    {T::Money, T::Invalid, money::init},    {T::Ref, T::String, text_kin::init_ref},
    {T::Point2D, T::Invalid, point::init2},  {T::Point3D, T::Invalid, point::init3},
    {T::Image, T::Series, start_images},
    // Registered by the GUI backend at start-up; named here so every id has its name.
    {T::Event, T::Invalid, nullptr},
};
static_assert(std::size(kTypeSteps) == kTypeCount);

void register_datatypes() {
    for (const TypeStep& s : kTypeSteps) {
        if (s.init) s.init();
        else registry::register_bare(s.id, s.parent);
    }
}

// Decodes the boot image (when there is one) into the root block. It opens with the objects of
// the catalogue, the catalogue last, then a paren! of the start-up texts; answers the root
// index of the catalogue, or -1.
int32_t load_image() {
    size_t length = 0;
    const uint8_t* image = memory::boot_image(&length);
    std::vector<int32_t>* found = roots::image_roots_to_fill();
    found->clear();
    if (!image) return -1;
    nuvbin::load_boot(image, length, found);
    int32_t catalogue = -1;
    for (const int32_t i : *found) {
        if (cell::is(roots::root_cell(i), TypeId::Paren)) start_texts::use_image(i);
        if (!cell::is(roots::root_cell(i), TypeId::Object)) break;
        catalogue = i;
    }
    return catalogue;
}

struct DeepRun {
    int (*body)(void*);
    void* data;
    int result;
};

void* deep_thread(void* arg) {
    auto* run = static_cast<DeepRun*>(arg);
    run->result = run->body(run->data);
    return nullptr;
}

}  // namespace

int run_with_deep_stack(int (*body)(void*), void* data) {
    // Reserved; pages are touched only as used. The address sanitizer leaves poisoned an unwound
    // stack deeper than 64 MB (its later reports are then false), so there the thread keeps
    // 64 MB; the evaluator's frames are built small enough for the frame limit to bind first.
    constexpr size_t kStack = os::kAddressSanitizer ? size_t{64} << 20 : size_t{512} << 20;
    DeepRun run{body, data, 0};
    pthread_attr_t attr;
    pthread_t thread;
    if (pthread_attr_init(&attr) == 0 && pthread_attr_setstacksize(&attr, kStack) == 0 &&
        pthread_create(&thread, &attr, deep_thread, &run) == 0) {
        pthread_attr_destroy(&attr);
        pthread_join(thread, nullptr);
        return run.result;
    }
    return body(data);  // no thread to be had: the caller's own stack
}

void init() {
    roots::set_auto_root(true);
    roots::set_collector_on(false);
    os::init();
    output::init();
    random::init();
    hash::set_seed(hash::kDefaultSeed);
    memory::init();
    watch::reset();
    handles::init();
    registry::init();
    register_datatypes();
    actions::init();
    memory::new_node_frame(memory::kNodeFrameCapacity);
    memory::new_series_frame();
    // The root block anchors everything start-up makes; the stacks and the symbol block are
    // its first cells.
    block::make_external(nullptr, roots::kRootCells);
    Cell* args = block::make_external(roots::root(), stack::kArgCells);
    NodeId args_node = cell::node(args);
    block::make_external(roots::root(), stack::kFrameCells);
    block::make_in(roots::root(), roots::kSymbolCells);
    context::make_global();
    case_fold::init();
    symbol::table_init();
    word::bind_datatype_names();
    words::init();
    natives::init();
    files::init();
    http::init();
    process::init();
    ownership::init();
    deflate::init();
    stack::init(args_node);
    frames::init();
    units::init();
    interp::init();
    lexer::init();
    routines::init();
    start_texts::reset();
    resource_slots::init();
    const int32_t catalogue = load_image();
    services::init();
    system_object::init(catalogue < 0 ? nullptr : roots::root_cell(catalogue));
    clipboard::init();
}

void exit() {
    // Outside a collection no slot is marked, so a sweep releases every outside resource
    // (pixel records, library handles) the values held.
    handles::sweep();
    units::release();
    watch::reset();
    memory::release_all();
    memory::tracked_release_all();
    // What start-up makes once a runtime and guards against making twice goes too, and so does
    // the last raise: a runtime made again starts as the first one did, with the same node ids,
    // classes, output state and roots.
    system_object::forget();
    object::forget_classes();
    parse::forget();
    forget_raised();
}

}  // namespace nuv::runtime
