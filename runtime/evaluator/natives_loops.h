// The conditionals that test a value or walk a block of cases (unless, any, all, switch, case),
// the loops over series (foreach, forall, remove-each), and the iteration steps those loops
// are made of, which compiled loops call too. Natives take their arguments at arguments[0..]
// and leave their result in arguments[0]; loops keep their arguments in place (rooted) and push
// their frame above them. Positions are checked against the tail the buffer has now, at every
// step, so a body may grow, cut or clear the series it walks.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::natives_loops {

void unless(bool check, const int32_t* refinements);
void any(bool check, const int32_t* refinements);
void all(bool check, const int32_t* refinements);
void switch_(bool check, const int32_t* refinements);
void case_(bool check, const int32_t* refinements);
void foreach(bool check, const int32_t* refinements);
void forall(bool check, const int32_t* refinements);
void remove_each(bool check, const int32_t* refinements);

// ---- Iteration steps: series cells are argument-stack cells whose head the steps move ----

// Whether the position lies before the tail.
bool is_series_more(const Cell* series);
// Sets the word, or each word of the block from its head, to the values of the any-block
// series from its position on (none! past the tail). A target must be a word!, set-word!,
// get-word! or lit-word! (else script invalid-arg). From a map! the two words get the key and
// the value of the first live entry at or after the position (none! when none is left). May
// allocate.
void set_words_from(const Cell* words, const Cell* series);
// The same with the elements of any other series, as pick gives them (char! for text).
void set_words_from_string(const Cell* words, const Cell* series);
// One word: false at the tail; else sets the word from the position and moves on one.
bool foreach_next(const Cell* word, Cell* series);
// A block of n words: 0 at the tail; else sets the words, moves on n and answers n. An empty
// words block raises script invalid-arg.
int32_t foreach_next_block(const Cell* words, Cell* series);
// After a body whose result is truthy: moves the series back n and removes the n values there
// with its type's remove action.
void remove_each_step(Cell* series, int32_t n, const Cell* result);
// The word's series, moved on one in place when `advance`: whether it is now at or past the
// tail. A word that no longer refers to a series raises script bad-loop-series.
bool forall_step(const Cell* word, bool advance);
// Sets the word back to the saved series. May allocate.
void forall_restore(const Cell* word, const Cell* saved);
// The saved series cell takes the position of the word's series.
void loop_word_index(const Cell* word, Cell* saved);
// The count cell becomes the integer! length of the series from its position.
void loop_series_length(const Cell* series, Cell* count);
// A float! becomes an integer!, truncated toward zero; NaN and values outside the 32-bit range
// become -2147483648. Other values are left as they are.
void float_count_to_integer(Cell* value);
void loop_count_to_integer();  // on arguments[0]
// The word's integer! value plus one. May allocate.
void word_increment(const Cell* word);

}  // namespace nuv::natives_loops
