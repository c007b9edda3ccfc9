// The datatype numbering: every type id the runtime knows, its name, in one table.
// The order of the table is the order of the ids; registration order is runtime-init's.
#pragma once
#include <cstdint>

namespace nuv {

// X(id, Enumerator, "name!")
#define NUV_DATATYPES(X)                                                                       \
    X(1, Datatype, "datatype!") X(2, Unset, "unset!") X(3, None, "none!")                      \
    X(4, Logic, "logic!") X(5, Block, "block!") X(6, Paren, "paren!")                          \
    X(7, String, "string!") X(8, File, "file!") X(9, Url, "url!") X(10, Char, "char!")         \
    X(11, Integer, "integer!") X(12, Float, "float!") X(13, Symbol, "symbol!")                 \
    X(14, Context, "context!") X(15, Word, "word!") X(16, SetWord, "set-word!")                \
    X(17, LitWord, "lit-word!") X(18, GetWord, "get-word!") X(19, Refinement, "refinement!")   \
    X(20, Issue, "issue!") X(21, Native, "native!") X(22, Action, "action!") X(23, Op, "op!")  \
    X(24, Function, "function!") X(25, Path, "path!") X(26, LitPath, "lit-path!")             \
    X(27, SetPath, "set-path!") X(28, GetPath, "get-path!") X(29, Routine, "routine!")         \
    X(30, Bitset, "bitset!") X(31, Triple, "triple!") X(32, Object, "object!")                \
    X(33, Typeset, "typeset!") X(34, Error, "error!") X(35, Vector, "vector!")                \
    X(36, Hash, "hash!") X(37, Pair, "pair!") X(38, Percent, "percent!")                      \
    X(39, Tuple, "tuple!") X(40, Map, "map!") X(41, Binary, "binary!")                        \
    X(42, Series, "series!") X(43, Time, "time!") X(44, Tag, "tag!") X(45, Email, "email!")   \
    X(46, Handle, "handle!") X(47, Date, "date!") X(48, Port, "port!")                        \
    X(49, Money, "money!") X(50, Ref, "ref!") X(51, Point2D, "point2D!")                      \
    X(52, Point3D, "point3D!") X(53, Image, "image!") X(54, Event, "event!")

enum class TypeId : uint8_t {
    Invalid = 0,
#define NUV_TYPE_ENUM(id, name, text) name = id,
    NUV_DATATYPES(NUV_TYPE_ENUM)
#undef NUV_TYPE_ENUM
};

inline constexpr int kTypeCount = 54;  // highest type id of a value
inline constexpr int kTypeSlots = 57;  // rows in the type tables (room above the last id)

// The name of a type id with its "!", or "" for an id no type has.
constexpr const char* type_name(TypeId t) {
    switch (t) {
#define NUV_TYPE_NAME(id, name, text) \
    case TypeId::name: return text;
        NUV_DATATYPES(NUV_TYPE_NAME)
#undef NUV_TYPE_NAME
    default: return "";
    }
}

constexpr int type_index(TypeId t) { return static_cast<int>(t); }

}  // namespace nuv
