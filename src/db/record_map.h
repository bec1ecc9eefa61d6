// The column references of record_map's code.
#pragma once
#include <string>
#include <string_view>

namespace koru {

// Rewrites "%N" (N of 1 or more) to "_c__o__l__m_[N-1]" and "%0" to
// "_c__o__l__m_", leaving a "%" inside a quoted span or after a backslash
// alone; `highest` is the highest N used.  False for a "%" followed by
// anything but a digit.
bool rewrite_column_references(std::string_view code, std::string& out, unsigned& highest);

}  // namespace koru
