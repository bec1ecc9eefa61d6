// The statement keyword recogniser: exact words for a few first letters and
// fixed-width tables (one string of space-padded slots) for the rest.
#pragma once
#include <string_view>

namespace koru {

// Keyword indexes; they select the statement compiler (68 entries).
enum Keyword : int {
    KW_NONE = -1,
    KW_BREAK = 0, KW_IF = 1, KW_LET = 2, KW_RETURN = 3, KW_RECORD_MAP = 4, KW_RECORD_HASH = 5,
    KW_REDIS_FIRST = 6, KW_REDIS_LAST = 13,
    KW_VAR = 14, KW_WHILE = 15, KW_OPEN_DB = 16, KW_CLOSE_DB = 17, KW_CONST = 18, KW_CONTINUE = 19,
    KW_DO = 20, KW_DECODE_URI = 21, KW_DECODE_URI_COMPONENT = 22, KW_EVAL = 23, KW_EXECUTE = 24,
    KW_ENCODE_URI = 25, KW_ENCODE_URI_COMPONENT = 26, KW_FOR = 27, KW_FUNCTION = 28,
    KW_SELECT = 29, KW_SELECT_HASH = 30, KW_SELECT_INTO = 31, KW_SELECT_TO_FRONT = 32,
    KW_SELECT_HASH_TO_FRONT = 33, KW_SEND_TO_FRONT = 34, KW_SWITCH = 35, KW_SELECT_EXISTS = 36,
    KW_SQL_AGGREGATE = 37, KW_THROW = 38, KW_TRY = 39, KW_PARSE_INT = 40, KW_PARSE_FLOAT = 41,
    KW_ALERT_TO_FRONT = 42, KW_MONGO_FIRST = 43, KW_MONGO_LAST = 67,
};
constexpr int kKeywordCount = 68;

// The keyword index of the word at *p, advancing *p past it; KW_NONE leaves
// *p unchanged.
int keyword(const char** p);
int keyword(char** p);

// The word of keyword index k as the recogniser's tables hold it; empty for
// an index no word has.
std::string_view keyword_word(int k);

}  // namespace koru
