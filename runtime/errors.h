// The error catalogue's categories and ids, and the one way the runtime raises an error.
// An id's number is its catalogue code: category index x 100 + position in the category.
// Raising never returns: it throws the one unwind record, which catch frames take or pass on.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv {

// X(index, Enumerator, "word", "title")
#define NUV_ERROR_CATEGORIES(X) \
    X(0, Throw, "throw", "Throw Error") \
    X(1, Note, "note", "note") \
    X(2, Syntax, "syntax", "Syntax Error") \
    X(3, Script, "script", "Script Error") \
    X(4, Math, "math", "Math Error") \
    X(5, Access, "access", "Access Error") \
    X(6, Reserved1, "reserved1", "Reserved1 Error") \
    X(7, Reserved2, "reserved2", "Reserved2 Error") \
    X(8, User, "user", "User Error") \
    X(9, Internal, "internal", "Internal Error")

// X(code, Category, Enumerator, "word", message...), in code order. The message is a text, or
// Blk then the items of a template block: texts, Arg1-Arg3 for the get-words :arg1-:arg3 and
// Word1-Word2 for the words arg1-arg2; or a lone Word1 (the message is the error's arg1).
#define NUV_ERROR_IDS(X) \
    X(0, Throw, Break, "break", "no loop to break") \
    X(1, Throw, Return, "return", "return or exit not in function") \
    X(2, Throw, Throw, "throw", Blk, "no catch for throw:", Arg1) \
    X(3, Throw, Continue, "continue", "no loop to continue") \
    X(4, Throw, WhileCond, "while-cond", "BREAK/CONTINUE cannot be used in WHILE condition block") \
    X(100, Note, NoLoad, "no-load", Blk, "cannot load: ", Arg1) \
    X(200, Syntax, Invalid, "invalid", Blk, Arg1, "invalid", Arg2, "at", Arg3) \
    X(201, Syntax, Missing, "missing", Blk, Arg1, "missing", Arg2, "at", Arg3) \
    X(202, Syntax, NoHeader, "no-header", Blk, "script is missing a Nuv header:", Arg1) \
    X(203, Syntax, NoRsHeader, "no-rs-header", Blk, "script is missing a Nuv/System header:", \
        Arg1) \
    X(204, Syntax, BadHeader, "bad-header", Blk, "script header is not valid:", Arg1) \
    X(205, Syntax, Malconstruct, "malconstruct", Blk, Arg1, "invalid construction spec at", Arg2) \
    X(206, Syntax, BadChar, "bad-char", Blk, Arg1, "invalid character at", Arg2) \
    X(300, Script, NoValue, "no-value", Blk, Arg1, "has no value") \
    X(301, Script, NeedValue, "need-value", Blk, Arg1, "needs a value") \
    X(302, Script, NotDefined, "not-defined", Blk, Arg1, "word is not bound to a context") \
    X(303, Script, NotInContext, "not-in-context", Blk, "context for", Arg1, "is not available") \
    X(304, Script, NoArg, "no-arg", Blk, Arg1, "is missing its", Arg2, "argument") \
    X(305, Script, ExpectArg, "expect-arg", Blk, Arg1, "does not allow", Arg2, "for its", Arg3, \
        "argument") \
    X(306, Script, ExpectVal, "expect-val", Blk, "expected", Arg1, "not", Arg2) \
    X(307, Script, ExpectType, "expect-type", Blk, Arg1, Arg2, "field must be of type", Arg3) \
    X(308, Script, CannotUse, "cannot-use", Blk, "cannot use", Arg1, "on", Arg2, "value") \
    X(309, Script, InvalidArg, "invalid-arg", Blk, "invalid argument:", Arg1) \
    X(310, Script, InvalidType, "invalid-type", Blk, Arg1, "type is not allowed here") \
    X(311, Script, InvalidTypeSpec, "invalid-type-spec", Blk, "invalid type specifier:", Arg1) \
    X(312, Script, InvalidKeyType, "invalid-key-type", Blk, "invalid key type:", Arg1) \
    X(313, Script, InvalidOp, "invalid-op", Blk, "invalid operator:", Arg1) \
    X(314, Script, NoOpArg, "no-op-arg", Blk, Arg1, "operator is missing an argument") \
    X(315, Script, BadOpSpec, "bad-op-spec", \
        "making an op! requires a function with only 2 arguments " \
        "and no lit/get-word on left argument") \
    X(316, Script, InvalidData, "invalid-data", Blk, "data not in correct format:", Arg1) \
    X(317, Script, InvalidPart, "invalid-part", Blk, "invalid /part count:", Arg1) \
    X(318, Script, NotSameType, "not-same-type", "values must be of the same type") \
    X(319, Script, NotSameClass, "not-same-class", Blk, "cannot coerce", Arg1, "to", Arg2) \
    X(320, Script, NotRelated, "not-related", Blk, "incompatible argument for", Arg1, "of", Arg2) \
    X(321, Script, BadFuncDef, "bad-func-def", Blk, "invalid function definition:", Arg1) \
    X(322, Script, BadFuncArg, "bad-func-arg", Blk, "function argument", Arg1, "is not valid") \
    X(323, Script, BadFuncExtern, "bad-func-extern", Blk, "invalid /extern value:", Arg1) \
    X(324, Script, NoRefine, "no-refine", Blk, Arg1, "has no refinement called", Arg2) \
    X(325, Script, BadRefines, "bad-refines", "incompatible or invalid refinements") \
    X(326, Script, BadRefine, "bad-refine", Blk, "invalid refinement value:", Arg1) \
    X(327, Script, DupRefine, "dup-refine", Blk, "duplicate refinement usage in:", Arg1) \
    X(328, Script, WordFirst, "word-first", Blk, "path must start with a word:", Arg1) \
    X(329, Script, EmptyPath, "empty-path", "cannot evaluate an empty path value") \
    X(330, Script, UnsetPath, "unset-path", Blk, Arg2, "is unset in path", Arg1) \
    X(331, Script, InvalidPath, "invalid-path", Blk, "cannot access", Arg2, "in path", Arg1) \
    X(332, Script, InvalidPathSet, "invalid-path-set", Blk, "unsupported type in", Arg1, \
        "set-path") \
    X(333, Script, InvalidPathGet, "invalid-path-get", Blk, "unsupported type in", Arg1, \
        "get-path") \
    X(334, Script, BadPathType, "bad-path-type", Blk, Arg3, "returned a", Arg2, "value, so", Arg1, \
        "could not be accessed") \
    X(335, Script, BadPathType2, "bad-path-type2", Blk, "path element >", Arg1, \
        "< does not apply to", Arg2, "type") \
    X(336, Script, BadPathSet, "bad-path-set", Blk, "cannot set", Arg2, "in path", Arg1) \
    X(337, Script, BadFieldSet, "bad-field-set", Blk, "cannot set", Arg1, "field to", Arg2, \
        "datatype") \
    X(338, Script, DupVars, "dup-vars", Blk, "duplicate variable specified:", Arg1) \
    X(339, Script, PastEnd, "past-end", "out of range or past end") \
    X(340, Script, MissingArg, "missing-arg", "missing a required argument or refinement") \
    X(341, Script, OutOfRange, "out-of-range", Blk, "value out of range:", Arg1) \
    X(342, Script, InvalidChars, "invalid-chars", "contains invalid characters") \
    X(343, Script, InvalidCompare, "invalid-compare", Blk, "cannot compare", Arg1, "with", Arg2) \
    X(344, Script, WrongType, "wrong-type", Blk, "datatype assertion failed for:", Arg1) \
    X(345, Script, InvalidRefineArg, "invalid-refine-arg", Blk, "invalid", Arg1, "argument:", \
        Arg2) \
    X(346, Script, TypeLimit, "type-limit", Blk, Arg1, "overflow/underflow") \
    X(347, Script, SizeLimit, "size-limit", Blk, "maximum limit reached:", Arg1) \
    X(348, Script, NoReturn, "no-return", "block did not return a value") \
    X(349, Script, ThrowUsage, "throw-usage", "invalid use of a thrown error value") \
    X(350, Script, LockedWord, "locked-word", Blk, "protected word - cannot modify:", Arg1) \
    X(351, Script, Protected, "protected", "protected value or series - cannot modify") \
    X(352, Script, BadBad, "bad-bad", Blk, Arg1, "error:", Arg2) \
    X(353, Script, BadMakeArg, "bad-make-arg", Blk, "cannot MAKE", Arg1, "from:", Arg2) \
    X(354, Script, BadToArg, "bad-to-arg", Blk, "cannot MAKE/TO", Arg1, "from:", Arg2) \
    X(355, Script, InvalidMonths, "invalid-months", "invalid system/locale/month list") \
    X(356, Script, InvalidSpecField, "invalid-spec-field", Blk, "invalid", Arg1, \
        "field in spec block") \
    X(357, Script, MissingSpecField, "missing-spec-field", Blk, Arg1, "not found in spec block") \
    X(358, Script, MoveBad, "move-bad", Blk, "Cannot MOVE elements from", Arg1, "to", Arg2) \
    X(359, Script, TooLong, "too-long", "Content too long") \
    X(360, Script, InvalidChar, "invalid-char", Blk, "Invalid char! value:", Arg1) \
    X(361, Script, BadLoopSeries, "bad-loop-series", Blk, "Loop series changed to invalid value:", \
        Arg1) \
    X(362, Script, WrongDenom, "wrong-denom", Blk, Arg1, "not same denomination as", Arg2) \
    X(363, Script, BadDenom, "bad-denom", Blk, "invalid denomination:", Arg1) \
    X(364, Script, InvalidObjEvt, "invalid-obj-evt", Blk, "invalid object event handler:", Arg1) \
    X(365, Script, ParseRule, "parse-rule", Blk, "PARSE - invalid rule or usage of rule:", Arg1) \
    X(366, Script, ParseEnd, "parse-end", Blk, "PARSE - unexpected end of rule after:", Arg1) \
    X(367, Script, ParseInvalidRef, "parse-invalid-ref", Blk, \
        "PARSE - get-word refers to a different series!", Arg1) \
    X(368, Script, ParseBlock, "parse-block", Blk, "PARSE - input must be of any-block! type:", \
        Arg1) \
    X(369, Script, ParseUnsupported, "parse-unsupported", \
        "PARSE - matching by datatype not supported for any-string! input") \
    X(370, Script, ParseInfinite, "parse-infinite", Blk, "PARSE - infinite recursion at rule: [", \
        Arg1, "]") \
    X(371, Script, ParseStack, "parse-stack", "PARSE - stack limit reached") \
    X(372, Script, ParseKeep, "parse-keep", "PARSE - KEEP is used without a wrapping COLLECT") \
    X(373, Script, ParseIntoBad, "parse-into-bad", \
        "PARSE - COLLECT INTO/AFTER invalid series! argument") \
    X(374, Script, ParseIntoType, "parse-into-type", \
        "PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype") \
    X(375, Script, DrawInvalid, "draw-invalid", Blk, "DRAW - invalid input at:", Arg1) \
    X(376, Script, DrawInfinite, "draw-infinite", Blk, "DRAW - infinite recursion at:", Arg1) \
    X(377, Script, InvalidDataFacet, "invalid-data-facet", Blk, "invalid DATA facet content", \
        Arg1) \
    X(378, Script, FaceType, "face-type", Blk, "VIEW - invalid face type:", Arg1) \
    X(379, Script, NotWindow, "not-window", "VIEW - expected a window root face") \
    X(380, Script, BadWindow, "bad-window", \
        "VIEW - a window face cannot be nested in another window") \
    X(381, Script, NotLinked, "not-linked", "VIEW - face not linked to a window") \
    X(382, Script, NotEventType, "not-event-type", Blk, "VIEW - not a valid event type", Arg1) \
    X(383, Script, InvalidFacetType, "invalid-facet-type", Blk, "VIEW - invalid rate value:", \
        Arg1) \
    X(384, Script, VidInvalidSyntax, "vid-invalid-syntax", Blk, "VID - invalid syntax at:", Arg1) \
    X(385, Script, RtdInvalidSyntax, "rtd-invalid-syntax", Blk, "RTD - invalid syntax at:", Arg1) \
    X(386, Script, RtdNoMatch, "rtd-no-match", Blk, "RTD - opening/closing tag not matching for:", \
        Arg1) \
    X(387, Script, ReactBadFunc, "react-bad-func", \
        "REACT - /LINK option requires a function! as argument") \
    X(388, Script, ReactNotEnough, "react-not-enough", \
        "REACT - reactive functions must accept at least 2 arguments") \
    X(389, Script, ReactNoMatch, "react-no-match", \
        "REACT - objects block length must match reaction function arg count") \
    X(390, Script, ReactBadObj, "react-bad-obj", "REACT - target can only contain object values") \
    X(391, Script, ReactGctx, "react-gctx", Blk, "REACT - word", Arg1, "is not a reactor's field") \
    X(392, Script, LibInvalidArg, "lib-invalid-arg", Blk, "LIBNUV - invalid argument for", Arg1) \
    X(393, Script, NbInvalidRecord, "nb-invalid-record", Blk, "NUVBIN - invalid record at index", \
        Arg1) \
    X(400, Math, ZeroDivide, "zero-divide", "attempt to divide by zero") \
    X(401, Math, Overflow, "overflow", "math or number overflow") \
    X(402, Math, Positive, "positive", "positive number required") \
    X(500, Access, CannotOpen, "cannot-open", Blk, "cannot open:", Arg1) \
    X(501, Access, CannotClose, "cannot-close", Blk, "cannot close:", Arg1) \
    X(502, Access, InvalidUtf8, "invalid-utf8", Blk, "invalid UTF-8 encoding:", Arg1) \
    X(503, Access, NotOpen, "not-open", Blk, "port is not open:", Arg1) \
    X(504, Access, NoConnect, "no-connect", Blk, "cannot connect:", Arg1, "reason: timeout") \
    X(505, Access, NoScheme, "no-scheme", Blk, "missing port scheme:", Arg1) \
    X(506, Access, UnknownScheme, "unknown-scheme", Blk, "scheme is unknown:", Arg1) \
    X(507, Access, InvalidSpec, "invalid-spec", Blk, "invalid spec or options:", Arg1) \
    X(508, Access, InvalidPort, "invalid-port", Blk, "invalid port object (invalid field values)") \
    X(509, Access, InvalidActor, "invalid-actor", Blk, \
        "invalid port actor (must be handle or object)") \
    X(510, Access, NoPortAction, "no-port-action", "port action not supported") \
    X(511, Access, NoCreate, "no-create", Blk, "cannot create:", Arg1) \
    X(512, Access, NoCodec, "no-codec", Blk, "cannot decode or encode (no codec):", Arg1) \
    X(513, Access, BadMedia, "bad-media", Blk, "bad media data (corrupt image, sound, video)") \
    X(514, Access, InvalidCmd, "invalid-cmd", Blk, "invalid port command:", Arg1) \
    X(800, User, Message, "message", Word1) \
    X(900, Internal, BadPath, "bad-path", Blk, "bad path:", Word1) \
    X(901, Internal, NotHere, "not-here", Blk, Word1, "not supported on your system") \
    X(902, Internal, NoMemory, "no-memory", "not enough memory") \
    X(903, Internal, WrongMem, "wrong-mem", "failed to release memory") \
    X(904, Internal, StackOverflow, "stack-overflow", "stack overflow") \
    X(905, Internal, LimitHit, "limit-hit", Blk, "internal limit reached:", Arg1) \
    X(906, Internal, TooDeep, "too-deep", "block or paren series is too deep to process") \
    X(907, Internal, NoCycle, "no-cycle", "circular reference not allowed") \
    X(908, Internal, FeatureNa, "feature-na", "feature not available") \
    X(909, Internal, NotDone, "not-done", "reserved for future use (or not yet implemented)") \
    X(910, Internal, InvalidError, "invalid-error", Blk, "invalid error object field value:", \
        Arg1) \
    X(911, Internal, Routines, "routines", \
        "routines require compilation, from OS shell: `nuv -r <script.nuv>`") \
    X(912, Internal, NuvSystem, "nuv-system", \
        "contains Nuv/System code which requires compilation") \
    X(913, Internal, Deprecated, "deprecated", Blk, Word1, "is DEPRECATED, please use", Word2, \
        "instead")

enum class ErrCategory : uint8_t {
#define NUV_ERR_CAT_ENUM(i, name, word, title) name = i,
    NUV_ERROR_CATEGORIES(NUV_ERR_CAT_ENUM)
#undef NUV_ERR_CAT_ENUM
};

enum class Err : uint16_t {
#define NUV_ERR_ENUM(code, cat, name, word, ...) name = code,
    NUV_ERROR_IDS(NUV_ERR_ENUM)
#undef NUV_ERR_ENUM
};

constexpr ErrCategory err_category(Err e) { return static_cast<ErrCategory>(static_cast<int>(e) / 100); }
constexpr int err_code(Err e) { return static_cast<int>(e); }
const char* err_category_word(ErrCategory c);
const char* err_word(Err e);  // the id's word, such as "expect-arg"

// The kinds of non-local exit that share the unwind record.
enum class UnwindKind : uint8_t { Error, Break, Continue, Return, Exit, Throw };

// The one unwind record. Not an std::exception: only the runtime's catch frames take it.
// For an error, the raised error stays in `raised()` until the next raise.
struct Unwind {
    UnwindKind kind;
    uint32_t target;  // depth of the frame that takes it; 0: no frame, the host C++ caller
};

// The error being unwound: its id and up to three argument cells.
struct RaisedError {
    Err id;
    int argc;
    Cell args[3];
};
const RaisedError& raised();
// Forgets the last raise, for a runtime that exits: its argument cells name nodes that are gone,
// which the collector of a runtime made again would mark as its own.
void forget_raised();
// The error! value of the last raise, in a rooted cell that the next raise overwrites: none!
// before the error module is up, or when making the value itself failed.
const Cell* raised_value();

// The error module's maker: fills `out` (a rooted cell) with the error! for the record. It may
// allocate and raise; fire then keeps the raw record alone.
using ErrorMaker = void (*)(const RaisedError& record, Cell* out);
void set_error_maker(ErrorMaker maker, Cell* out);

// Raises the error with 0 to 3 argument values. Never returns.
[[noreturn]] void fire(Err id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
                       const Cell* arg3 = nullptr);

// Raises with an integer! argument (code points, counts).
[[noreturn]] void fire_int(Err id, int32_t value);

// Raises an error! value made earlier, as it stands (`do` of an error!): the record, with the
// value's id and arguments, becomes raised() and the value raised_value(). Never returns.
[[noreturn]] void fire_value(const RaisedError& record, const Cell* error);

// Ends the process at once for conditions that no language code can recover from.
[[noreturn]] void fatal(const char* message, int status);

}  // namespace nuv
