// checksum, wait and browse: argument checks and preparation; runtime/checksum.*, the digest
// layer (host/crypto.*), the system clock and the desktop opener (host/desktop.*) do the work.
#include "runtime/evaluator/natives_host.h"

#include <time.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "host/crypto.h"
#include "host/desktop.h"
#include "runtime/checksum.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_kin.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/os.h"
#include "runtime/output.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/unicode.h"

namespace nuv::natives_host {

namespace {

using T = TypeId;
using host::crypto::Digest;

// Raises script expect-arg naming spec argument number `arg` when the value's type is not one
// the predicate takes.
template <class Accepts>
void expect(bool check, const Cell* value, int32_t arg, Accepts accepts) {
    if (check && !accepts(cell::type_of(value))) fire_expect_arg(cell::type_of(value), arg);
}

// The UTF-8 of a text from its index. No series allocation.
std::vector<uint8_t> utf8_of(const Cell* text) {
    const uint32_t unit = string::unit_of(text);
    const uint8_t* head = string::head_ptr(text);
    const auto n = static_cast<size_t>(string::length(text));
    std::vector<uint8_t> out(unicode::utf8_size_of_units(head, head + n * unit, unit));
    unicode::string_write_utf8(text, out.data(), -1, false);
    return out;
}

// ---- checksum ----

enum class Kind : uint8_t { Internet, Crc32, Adler32, Digest, Hash };

struct Method {
    const char* name;
    Kind kind;
    Digest digest;  // for Kind::Digest
};

constexpr Method kMethods[] = {
    {"tcp", Kind::Internet, {}},          {"crc32", Kind::Crc32, {}},
    {"md5", Kind::Digest, Digest::Md5},   {"sha1", Kind::Digest, Digest::Sha1},
    {"sha256", Kind::Digest, Digest::Sha256}, {"sha384", Kind::Digest, Digest::Sha384},
    {"sha512", Kind::Digest, Digest::Sha512}, {"adler32", Kind::Adler32, {}},
    {"hash", Kind::Hash, {}},
};

bool same_ascii_nocase(const char* a, size_t a_length, const char* b) {
    size_t i = 0;
    for (; i < a_length && b[i]; i++) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return i == a_length && !b[i];
}

// The method the word names, ignoring case; script invalid-arg with the word for any other.
const Method& method_of(const Cell* word) {
    const SymId sym = word::symbol_of(word);
    const char* name = symbol::utf8_name(sym);
    const size_t length = symbol::name_length(sym);
    for (const Method& m : kMethods)
        if (same_ascii_nocase(name, length, m.name)) return m;
    fire(Err::InvalidArg, word);
}

// The bytes of a string! or binary! from its index: a binary's own bytes (valid until the
// next allocation), a text's UTF-8 in `room`.
struct Bytes {
    const uint8_t* data;
    size_t length;
};
Bytes bytes_of(const Cell* value, std::vector<uint8_t>& room) {
    if (cell::is(value, T::Binary))
        return {binary::rs_head(value), static_cast<size_t>(binary::rs_length(value))};
    room = utf8_of(value);
    return {room.data(), room.size()};
}

[[noreturn]] void refuse_with(const Cell* culprit) {
    const Cell with = word::make_global_as("with", T::Word);
    fire(Err::InvalidRefineArg, &with, culprit);
}

// The placeholder of a hash-table checksum whose algorithm is not settled.
void hash_placeholder() {
    static constexpr char kLine[] = "** /hash support not yet implemented; algorithm TBD.\n";
    output::write_text(kLine, sizeof kLine - 1);
    output::set_last_new_line(true);
}

}  // namespace

void checksum(bool check, const int32_t* refinements) {
    Cell* data = stack::arg(0);
    const Cell* method_word = stack::arg(1);
    const Cell* spec = refinements[0] >= 0 ? stack::arg(refinements[0]) : nullptr;
    expect(check, data, 0, [](T t) { return t == T::String || t == T::Binary || t == T::File; });
    expect(check, method_word, 1, [](T t) { return t == T::Word; });
    if (spec) {
        expect(check, spec, 2, [](T t) {
            return t == T::Binary || t == T::Integer || series::is_any_string(t);
        });
    }
    if (cell::is(data, T::File)) fire(Err::NotDone);  // reading files: with the file services
    const Method& method = method_of(method_word);
    std::vector<uint8_t> room;
    if (method.kind == Kind::Internet || method.kind == Kind::Crc32 ||
        method.kind == Kind::Adler32) {
        if (spec) refuse_with(method_word);
        const Bytes in = bytes_of(data, room);
        const uint32_t sum = method.kind == Kind::Crc32     ? checksum::crc32(in.data, in.length)
                             : method.kind == Kind::Adler32 ? checksum::adler32(in.data, in.length)
                                                            : checksum::internet(in.data, in.length);
        integer::set(stack::arg(0), static_cast<int32_t>(sum));
        return;
    }
    if (!spec) {
        if (method.kind == Kind::Hash) refuse_with(method_word);
    } else if (cell::is(spec, T::Integer)) {
        hash_placeholder();
        integer::set(stack::arg(0), 0);
        return;
    } else if (!cell::is(spec, T::String) && !cell::is(spec, T::Binary)) {
        fire(Err::InvalidArg, spec);
    } else if (method.kind == Kind::Hash) {
        refuse_with(spec);
    }
    uint8_t sum[host::crypto::kMaxDigestSize];
    std::vector<uint8_t> key_room;
    // Binaries are read in place: no series allocation from here to the digest's end.
    const Bytes key = spec ? bytes_of(spec, key_room) : Bytes{nullptr, 0};
    const Bytes in = bytes_of(data, room);
    const bool done = spec ? host::crypto::hmac(method.digest, key.data, key.length, in.data,
                                                in.length, sum)
                           : host::crypto::digest(method.digest, in.data, in.length, sum);
    if (!done) fire(Err::FeatureNa);
    binary::load(sum, host::crypto::digest_size(method.digest), stack::arg(0));
}

// ---- wait ----

void wait(bool check, const int32_t*) {
    Cell* value = stack::arg(0);
    expect(check, value, 0, [](T t) {
        return t == T::Integer || t == T::Float || t == T::Percent || t == T::Time ||
               t == T::Block || t == T::None;
    });
    double seconds = 0;
    switch (cell::type_of(value)) {
    case T::Integer: seconds = cell::get_int(value); break;
    case T::Float: seconds = cell::get_double(value); break;
    case T::Time: seconds = time_value::get(value); break;
    default: fire(Err::InvalidArg, value);
    }
    if (seconds > 0) os::sleep_seconds(seconds);  // NaN, 0 and below sleep not at all
    // Then the GUI's pending messages, one per call, until none is left.
    if (hooks::g_events.do_events)
        while (hooks::g_events.do_events(true)) {
        }
    none::set(stack::arg(0));
}

// ---- browse ----

void browse(bool check, const int32_t*) {
    Cell* target = stack::arg(0);
    expect(check, target, 0, [](T t) { return t == T::Url || t == T::File; });
    std::string text;
    if (cell::is(target, T::File)) {
        Cell local;
        text_kin::to_local(target, false, &local);
        const std::vector<uint8_t> bytes = utf8_of(&local);  // at once: nothing allocates between
        text.assign(bytes.begin(), bytes.end());
        // A path the opener would read as an option is made explicitly relative.
        if (!text.empty() && text[0] == '-') text.insert(0, "./");
    } else {
        const std::vector<uint8_t> bytes = utf8_of(target);
        text.assign(bytes.begin(), bytes.end());
    }
    // An argument cannot hold a NUL; such a target names nothing the opener could reach.
    if (text.find('\0') == std::string::npos) host::desktop::open(text.c_str());
    unset::set(stack::arg(0));
}

}  // namespace nuv::natives_host
