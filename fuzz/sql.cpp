// The SQL statement compiler: byte 0 chooses the database kind's
// placeholder form and the statement's first-word rule, the rest is the
// statement text as a script passes it.  Every input compiles or raises an
// error object; a compiled statement keeps its promises: its counts add
// up, each marker has its kind and place, and the text carries one
// placeholder for each marker outside the quoted spans.
#include <cstring>
#include <string>

#include "db/sql.h"
#include "harness.h"

using namespace koru;

namespace {

constexpr size_t kMaxStatement = 64 * 1024;

struct Form {
    char placeholder;
    bool numbered;
};
// The placeholder forms of the kinds a connection can have.
constexpr Form kForms[] = {{'?', false}, {':', true}, {'$', true}};

void check(const SqlStatement& st) {
    fuzz::require(st.marker_count == st.named_count + st.positional_count, "the marker counts do not add up");
    fuzz::require(st.kinds.size() == st.marker_count && st.ordinals.size() == st.marker_count,
                  "a marker without its kind or place");
    fuzz::require(st.named_kinds.size() == st.named_count && st.refs.size() == st.named_count,
                  "a named marker without its kind or reference");
    fuzz::require(st.numbers.size() == st.positional_count, "a positional marker without its number");
    size_t named = 0, positional = 0;
    for (size_t i = 0; i < st.kinds.size(); ++i) {
        uint8_t k = st.kinds[i];
        fuzz::require(k == 'A' || k == 'N' || k == 'E', "a marker of no kind");
        size_t& group = k == 'A' ? positional : named;
        fuzz::require(st.ordinals[i] == group, "a marker out of its group's order");
        ++group;
    }
    for (uint8_t n : st.numbers) fuzz::require(n >= 1, "a positional marker numbered 0");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > kMaxStatement) return 0;
    const Form& form = kForms[data[0] % 3];
    SqlWord word = data[0] & 0x80 ? SqlWord::NotSelect : SqlWord::Select;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz::fuzz_reset();
    g_errors.module = 1;
    g_errors.position = 1;
    try {
        SqlStatement st;
        compile_sql(st, text.data(), text.size(), form.placeholder, form.numbered, word);
        check(st);
    } catch (const Unwind& u) {
        fuzz::require(fuzz::is_error_object(u), "the SQL compiler raised something other than an error");
    }
    fuzz::fuzz_reset();
    return 0;
}
