#include "compiler/keywords.h"

#include <cstring>
#include <string_view>

#include "compiler/source.h"

namespace koru {

namespace {

struct ExactWord {
    char first;
    const char* word;
    int index;
};

constexpr ExactWord kExactWords[] = {
    {'a', "alertToFront", KW_ALERT_TO_FRONT}, {'b', "break", KW_BREAK}, {'i', "if", KW_IF},
    {'l', "let", KW_LET}, {'o', "openDb", KW_OPEN_DB}, {'v', "var", KW_VAR}, {'w', "while", KW_WHILE},
};

// One string of fixed-width slots; a word of the table matches only where it
// starts a slot and is followed by the slot's padding.
struct WordTable {
    char first;
    unsigned width;
    unsigned maximum;
    int base;
    std::string_view slots;
};

constexpr WordTable kTables[] = {
    {'c', 10, 8, 17, "closeDb   const     continue  "},
    {'d', 20, 18, 20, "do                  decodeURI           decodeURIComponent  "},
    {'e', 20, 18, 23, "eval                execute             encodeURI           encodeURIComponent  "},
    {'f', 10, 8, 27, "for       function  "},
    {'m', 24, 23, 43,
     "mongo_find              mongo_count             mongo_insert            mongo_update_one        "
     "mongo_update_many       mongo_delete_one        mongo_delete_many       mongo_drop_collection   "
     "mongo_transaction       mongo_rename_collection mongo_get_collection    mongo_collection_name   "
     "mongo_use_db            mongo_current_db        mongo_drop_db           mongo_collection_names  "
     "mongo_get_database      mongo_rollback          mongo_commit            mongo_find_hash         "
     "mongo_aggregate         mongo_create_collection mongo_exists_collection mongoc_read_command     "
     "mongoc_write_command    "},
    {'p', 12, 10, 40, "parseInt    parseFloat  "},
    {'r', 18, 15, 3,
     "return            record_map        record_hash       redis_command     redis_aggregate   "
     "redis_keys        redis_get         redis_execute     redis_delete      redis_lremove     "
     "redis_linsert     "},
    {'s', 18, 17, 29,
     "select            selectHash        selectInto        selectToFront     selectHashToFront "
     "sendToFront       switch            selectExists      sql_aggregate     "},
    {'t', 8, 5, 38, "throw   try     "},
};

bool is_letter_or_underscore(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

int exact_word(const char** p, const ExactWord& w) {
    size_t len = std::strlen(w.word);
    if (std::strncmp(*p, w.word, len) != 0 || is_name_char((*p)[len])) return KW_NONE;
    *p += len;
    return w.index;
}

int table_word(const char** p, const WordTable& t) {
    size_t run = 0;
    while (run < t.width && is_letter_or_underscore((*p)[run])) ++run;
    if (run == 0 || run > t.maximum) return KW_NONE;
    size_t at = t.slots.find(std::string_view(*p, run));
    if (at == std::string_view::npos || at % t.width != 0 || t.slots[at + run] != ' ') return KW_NONE;
    *p += run;
    return t.base + static_cast<int>(at / t.width);
}

}  // namespace

int keyword(const char** p) {
    char first = **p;
    for (const ExactWord& w : kExactWords)
        if (w.first == first) return exact_word(p, w);
    for (const WordTable& t : kTables)
        if (t.first == first) return table_word(p, t);
    return KW_NONE;
}

std::string_view keyword_word(int k) {
    for (const ExactWord& w : kExactWords)
        if (w.index == k) return w.word;
    for (const WordTable& t : kTables) {
        size_t slots = t.slots.size() / t.width;
        if (k < t.base || static_cast<size_t>(k - t.base) >= slots) continue;
        std::string_view slot = t.slots.substr(static_cast<size_t>(k - t.base) * t.width, t.width);
        return slot.substr(0, slot.find(' '));
    }
    return {};
}

int keyword(char** p) {
    const char* q = *p;
    int k = keyword(&q);
    *p = const_cast<char*>(q);
    return k;
}

}  // namespace koru
