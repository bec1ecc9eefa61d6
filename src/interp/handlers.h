// The instruction handlers, one family per file.  The opcode table
// (opcodes.h) names each opcode's handler; the dispatch tables in
// evaluate.cpp are generated from it.
#pragma once
#include "interp/evaluate.h"

namespace koru {

// evaluate.cpp
Value h_nop(const InstrCell& c);
Value h_reject(const InstrCell& c);
Value h_unavailable(const InstrCell& c);

// db/statements.cpp
Value h_open_db(const InstrCell& c);
Value h_close_db(const InstrCell& c);
Value h_select(const InstrCell& c);
Value h_select_hash(const InstrCell& c);
Value h_select_exists(const InstrCell& c);
Value h_select_into(const InstrCell& c);
Value h_execute(const InstrCell& c);
Value h_select_to_front(const InstrCell& c);
Value h_select_hash_to_front(const InstrCell& c);

// db/record_map.cpp
Value h_record_map(const InstrCell& c);
Value h_record_hash(const InstrCell& c);

// db/aggregate.cpp
Value h_sql_aggregate(const InstrCell& c);

// operators.cpp
Value h_typeof(const InstrCell& c);
Value h_instanceof(const InstrCell& c);
Value h_not(const InstrCell& c);
Value h_and(const InstrCell& c);
Value h_or(const InstrCell& c);
Value h_eq(const InstrCell& c);
Value h_strict_eq(const InstrCell& c);
Value h_ne(const InstrCell& c);
Value h_strict_ne(const InstrCell& c);
Value h_ge(const InstrCell& c);
Value h_gt(const InstrCell& c);
Value h_le(const InstrCell& c);
Value h_lt(const InstrCell& c);
Value h_add(const InstrCell& c);
Value h_sub(const InstrCell& c);
Value h_mul(const InstrCell& c);
Value h_div(const InstrCell& c);
Value h_mod(const InstrCell& c);
Value h_pow(const InstrCell& c);
Value h_bit_and(const InstrCell& c);
Value h_bit_or(const InstrCell& c);
Value h_bit_xor(const InstrCell& c);
Value h_bit_not(const InstrCell& c);
Value h_shl(const InstrCell& c);
Value h_shr(const InstrCell& c);
Value h_ushr(const InstrCell& c);
Value h_cond(const InstrCell& c);
Value h_sequence(const InstrCell& c);

// assign.cpp
Value h_post_inc(const InstrCell& c);
Value h_post_dec(const InstrCell& c);
Value h_pre_inc(const InstrCell& c);
Value h_pre_dec(const InstrCell& c);
Value h_assign(const InstrCell& c);
Value h_add_assign(const InstrCell& c);
Value h_sub_assign(const InstrCell& c);
Value h_mul_assign(const InstrCell& c);
Value h_div_assign(const InstrCell& c);
Value h_mod_assign(const InstrCell& c);
Value h_and_assign(const InstrCell& c);
Value h_or_assign(const InstrCell& c);
Value h_xor_assign(const InstrCell& c);

// variables.cpp
Value h_var(const InstrCell& c);
Value h_let(const InstrCell& c);
Value h_const(const InstrCell& c);
Value h_index(const InstrCell& c);
Value h_member(const InstrCell& c);

// control.cpp
Value h_if(const InstrCell& c);
Value h_while(const InstrCell& c);
Value h_do_while(const InstrCell& c);
Value h_for(const InstrCell& c);
Value h_for_of(const InstrCell& c);
Value h_for_in(const InstrCell& c);
Value h_try(const InstrCell& c);
Value h_throw(const InstrCell& c);
Value h_block(const InstrCell& c);
Value h_break(const InstrCell& c);
Value h_continue(const InstrCell& c);
Value h_return(const InstrCell& c);
Value h_switch(const InstrCell& c);
Value h_exception(const InstrCell& c);

// calls.cpp
Value h_call(const InstrCell& c);
Value h_new(const InstrCell& c);
Value h_array(const InstrCell& c);
Value h_hash_call(const InstrCell& c);

// globalfns.cpp
Value h_number(const InstrCell& c);
Value h_string(const InstrCell& c);
Value h_decode_uri(const InstrCell& c);
Value h_decode_uri_component(const InstrCell& c);
Value h_encode_uri(const InstrCell& c);
Value h_encode_uri_component(const InstrCell& c);
Value h_eval(const InstrCell& c);
Value h_integer(const InstrCell& c);
Value h_float(const InstrCell& c);

// builtins/number.cpp
Value h_parse_int(const InstrCell& c);
Value h_parse_float(const InstrCell& c);

// builtins/date/date_construct.cpp
Value h_date(const InstrCell& c);

// strings/regexp_methods.cpp
Value h_regexp(const InstrCell& c);

// db/front/send.cpp
Value h_send_to_front(const InstrCell& c);
Value h_alert_to_front(const InstrCell& c);

}  // namespace koru
