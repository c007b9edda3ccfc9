// The error catalogue's categories and ids, and the one way the runtime raises an error.
// An id's number is its catalogue code: category index x 100 + position in the category.
// Raising never returns: it throws the one unwind record, which catch frames take or pass on.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv {

// X(index, Enumerator, "word")
#define NUV_ERROR_CATEGORIES(X) \
    X(0, Throw, "throw") \
    X(1, Note, "note") \
    X(2, Syntax, "syntax") \
    X(3, Script, "script") \
    X(4, Math, "math") \
    X(5, Access, "access") \
    X(6, Reserved1, "reserved1") \
    X(7, Reserved2, "reserved2") \
    X(8, User, "user") \
    X(9, Internal, "internal")

// X(code, Category, Enumerator, "word"), in code order.
#define NUV_ERROR_IDS(X) \
    X(0, Throw, Break, "break") \
    X(1, Throw, Return, "return") \
    X(2, Throw, Throw, "throw") \
    X(3, Throw, Continue, "continue") \
    X(4, Throw, WhileCond, "while-cond") \
    X(100, Note, NoLoad, "no-load") \
    X(200, Syntax, Invalid, "invalid") \
    X(201, Syntax, Missing, "missing") \
    X(202, Syntax, NoHeader, "no-header") \
    X(203, Syntax, NoRsHeader, "no-rs-header") \
    X(204, Syntax, BadHeader, "bad-header") \
    X(205, Syntax, Malconstruct, "malconstruct") \
    X(206, Syntax, BadChar, "bad-char") \
    X(300, Script, NoValue, "no-value") \
    X(301, Script, NeedValue, "need-value") \
    X(302, Script, NotDefined, "not-defined") \
    X(303, Script, NotInContext, "not-in-context") \
    X(304, Script, NoArg, "no-arg") \
    X(305, Script, ExpectArg, "expect-arg") \
    X(306, Script, ExpectVal, "expect-val") \
    X(307, Script, ExpectType, "expect-type") \
    X(308, Script, CannotUse, "cannot-use") \
    X(309, Script, InvalidArg, "invalid-arg") \
    X(310, Script, InvalidType, "invalid-type") \
    X(311, Script, InvalidTypeSpec, "invalid-type-spec") \
    X(312, Script, InvalidKeyType, "invalid-key-type") \
    X(313, Script, InvalidOp, "invalid-op") \
    X(314, Script, NoOpArg, "no-op-arg") \
    X(315, Script, BadOpSpec, "bad-op-spec") \
    X(316, Script, InvalidData, "invalid-data") \
    X(317, Script, InvalidPart, "invalid-part") \
    X(318, Script, NotSameType, "not-same-type") \
    X(319, Script, NotSameClass, "not-same-class") \
    X(320, Script, NotRelated, "not-related") \
    X(321, Script, BadFuncDef, "bad-func-def") \
    X(322, Script, BadFuncArg, "bad-func-arg") \
    X(323, Script, BadFuncExtern, "bad-func-extern") \
    X(324, Script, NoRefine, "no-refine") \
    X(325, Script, BadRefines, "bad-refines") \
    X(326, Script, BadRefine, "bad-refine") \
    X(327, Script, DupRefine, "dup-refine") \
    X(328, Script, WordFirst, "word-first") \
    X(329, Script, EmptyPath, "empty-path") \
    X(330, Script, UnsetPath, "unset-path") \
    X(331, Script, InvalidPath, "invalid-path") \
    X(332, Script, InvalidPathSet, "invalid-path-set") \
    X(333, Script, InvalidPathGet, "invalid-path-get") \
    X(334, Script, BadPathType, "bad-path-type") \
    X(335, Script, BadPathType2, "bad-path-type2") \
    X(336, Script, BadPathSet, "bad-path-set") \
    X(337, Script, BadFieldSet, "bad-field-set") \
    X(338, Script, DupVars, "dup-vars") \
    X(339, Script, PastEnd, "past-end") \
    X(340, Script, MissingArg, "missing-arg") \
    X(341, Script, OutOfRange, "out-of-range") \
    X(342, Script, InvalidChars, "invalid-chars") \
    X(343, Script, InvalidCompare, "invalid-compare") \
    X(344, Script, WrongType, "wrong-type") \
    X(345, Script, InvalidRefineArg, "invalid-refine-arg") \
    X(346, Script, TypeLimit, "type-limit") \
    X(347, Script, SizeLimit, "size-limit") \
    X(348, Script, NoReturn, "no-return") \
    X(349, Script, ThrowUsage, "throw-usage") \
    X(350, Script, LockedWord, "locked-word") \
    X(351, Script, Protected, "protected") \
    X(352, Script, BadBad, "bad-bad") \
    X(353, Script, BadMakeArg, "bad-make-arg") \
    X(354, Script, BadToArg, "bad-to-arg") \
    X(355, Script, InvalidMonths, "invalid-months") \
    X(356, Script, InvalidSpecField, "invalid-spec-field") \
    X(357, Script, MissingSpecField, "missing-spec-field") \
    X(358, Script, MoveBad, "move-bad") \
    X(359, Script, TooLong, "too-long") \
    X(360, Script, InvalidChar, "invalid-char") \
    X(361, Script, BadLoopSeries, "bad-loop-series") \
    X(362, Script, WrongDenom, "wrong-denom") \
    X(363, Script, BadDenom, "bad-denom") \
    X(364, Script, InvalidObjEvt, "invalid-obj-evt") \
    X(365, Script, ParseRule, "parse-rule") \
    X(366, Script, ParseEnd, "parse-end") \
    X(367, Script, ParseInvalidRef, "parse-invalid-ref") \
    X(368, Script, ParseBlock, "parse-block") \
    X(369, Script, ParseUnsupported, "parse-unsupported") \
    X(370, Script, ParseInfinite, "parse-infinite") \
    X(371, Script, ParseStack, "parse-stack") \
    X(372, Script, ParseKeep, "parse-keep") \
    X(373, Script, ParseIntoBad, "parse-into-bad") \
    X(374, Script, ParseIntoType, "parse-into-type") \
    X(375, Script, DrawInvalid, "draw-invalid") \
    X(376, Script, DrawInfinite, "draw-infinite") \
    X(377, Script, InvalidDataFacet, "invalid-data-facet") \
    X(378, Script, FaceType, "face-type") \
    X(379, Script, NotWindow, "not-window") \
    X(380, Script, BadWindow, "bad-window") \
    X(381, Script, NotLinked, "not-linked") \
    X(382, Script, NotEventType, "not-event-type") \
    X(383, Script, InvalidFacetType, "invalid-facet-type") \
    X(384, Script, VidInvalidSyntax, "vid-invalid-syntax") \
    X(385, Script, RtdInvalidSyntax, "rtd-invalid-syntax") \
    X(386, Script, RtdNoMatch, "rtd-no-match") \
    X(387, Script, ReactBadFunc, "react-bad-func") \
    X(388, Script, ReactNotEnough, "react-not-enough") \
    X(389, Script, ReactNoMatch, "react-no-match") \
    X(390, Script, ReactBadObj, "react-bad-obj") \
    X(391, Script, ReactGctx, "react-gctx") \
    X(392, Script, LibInvalidArg, "lib-invalid-arg") \
    X(393, Script, NbInvalidRecord, "nb-invalid-record") \
    X(400, Math, ZeroDivide, "zero-divide") \
    X(401, Math, Overflow, "overflow") \
    X(402, Math, Positive, "positive") \
    X(500, Access, CannotOpen, "cannot-open") \
    X(501, Access, CannotClose, "cannot-close") \
    X(502, Access, InvalidUtf8, "invalid-utf8") \
    X(503, Access, NotOpen, "not-open") \
    X(504, Access, NoConnect, "no-connect") \
    X(505, Access, NoScheme, "no-scheme") \
    X(506, Access, UnknownScheme, "unknown-scheme") \
    X(507, Access, InvalidSpec, "invalid-spec") \
    X(508, Access, InvalidPort, "invalid-port") \
    X(509, Access, InvalidActor, "invalid-actor") \
    X(510, Access, NoPortAction, "no-port-action") \
    X(511, Access, NoCreate, "no-create") \
    X(512, Access, NoCodec, "no-codec") \
    X(513, Access, BadMedia, "bad-media") \
    X(514, Access, InvalidCmd, "invalid-cmd") \
    X(800, User, Message, "message") \
    X(900, Internal, BadPath, "bad-path") \
    X(901, Internal, NotHere, "not-here") \
    X(902, Internal, NoMemory, "no-memory") \
    X(903, Internal, WrongMem, "wrong-mem") \
    X(904, Internal, StackOverflow, "stack-overflow") \
    X(905, Internal, LimitHit, "limit-hit") \
    X(906, Internal, TooDeep, "too-deep") \
    X(907, Internal, NoCycle, "no-cycle") \
    X(908, Internal, FeatureNa, "feature-na") \
    X(909, Internal, NotDone, "not-done") \
    X(910, Internal, InvalidError, "invalid-error") \
    X(911, Internal, Routines, "routines") \
    X(912, Internal, NuvSystem, "nuv-system") \
    X(913, Internal, Deprecated, "deprecated")

enum class ErrCategory : uint8_t {
#define NUV_ERR_CAT_ENUM(i, name, word) name = i,
    NUV_ERROR_CATEGORIES(NUV_ERR_CAT_ENUM)
#undef NUV_ERR_CAT_ENUM
};

enum class Err : uint16_t {
#define NUV_ERR_ENUM(code, cat, name, word) name = code,
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
    uint32_t target;  // target call frame (0 = the nearest catch frame)
};

// The error being unwound: its id and up to three argument cells.
struct RaisedError {
    Err id;
    int argc;
    Cell args[3];
};
const RaisedError& raised();

// Raises the error with 0 to 3 argument values. Never returns.
[[noreturn]] void fire(Err id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
                       const Cell* arg3 = nullptr);

// Raises with an integer! argument (code points, counts).
[[noreturn]] void fire_int(Err id, int32_t value);

// Ends the process at once for conditions that no language code can recover from.
[[noreturn]] void fatal(const char* message, int status);

}  // namespace nuv
