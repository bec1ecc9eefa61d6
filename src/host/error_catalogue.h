// Every error the program can raise, one row each: the row's name, its code,
// its message format and where it is raised.  The front ends parse these
// codes and texts (the S record, EVAL ERROR and PARSE ERROR reports, fatal
// start-up records), so this list is the whole of that protocol.
//
// A row is one (code, message) pair.  The same code with another message is
// another row; one row may be raised from several places.  A message format
// takes printf conversions: d i u x X c and s, with flags, a width and a
// precision (digits or '*'), and %%.  Fatal start-up errors have no code of
// their own (their record is always S148555): their rows carry code 0.
//
// Raise a row through its kind's routine, naming the row:
//   raise_runtime(err::division_by_zero);
//   compile_error(err::expression_bad, excerpt(p, 120));
// A call whose arguments do not fit the row's format does not compile.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

// X(name, code, "format", "where")
#define KORU_ERRORS(X)                                                                                           \
    /* ---- compiler (parse errors) ---- */                                                                      \
    X(statement_list_bad, 1000, "ステートメント不正 '%s'", "compiler/statements: more than one expression")       \
    X(name_too_long, 1005, "関数・変数名の長さ不正", "compiler/source")                                          \
    X(string_unterminated, 1010, "JSON文字列不正", "compiler/literals: string literal")                         \
    X(expression_bad_token, 1015, "ステートメント不正(%s)", "compiler/expr")                                     \
    X(call_argument_count, 1020, "引数の個数不正 '%s'", "compiler/expr: built-in call")                          \
    X(var_declaration_bad, 1025, "フォーマット不正 '%s'", "compiler/statements: var")                             \
    X(block_declaration_bad, 1030, "フォーマット不正 '%s' in '%s'", "compiler/statements: let/const")             \
    X(block_declaration_duplicate, 1035, "'%s'内で変数名の重複 '%s'", "compiler/statements: let/const")           \
    X(function_name_reserved, 1040, "関数名不正 '%s'", "compiler/statements: function")                           \
    X(function_declaration_bad, 1050, "フォーマット不正 '%s'", "compiler/statements: function")                   \
    X(value_text_semicolon, 1055, "JSON文字列不正 ';'", "compiler/expr: value text")                             \
    X(value_text_operator, 1060, "JSON文字列の演算子不正 '%s'", "compiler/expr: value text")                      \
    X(value_text_bad, 1065, "JSON文字列フォーマット不正 '%s'", "compiler/expr: value text")                       \
    X(array_literal_bad, 1070, "JSON文字列フォーマット不正 '%s'", "compiler/literals: array literal")             \
    X(if_statement_bad, 1075, "ステートメント不正 '%s", "compiler/statements: if")                                \
    X(while_statement_bad, 1080, "ステートメント不正 'while %s", "compiler/statements: while")                    \
    X(do_statement_bad, 1085, "ステートメント不正 'do %s %s", "compiler/statements: do")                          \
    X(for_statement_bad, 1090, "ステートメント不正 'for %s'", "compiler/statements: for")                         \
    X(try_statement_bad, 1095, "ステートメント不正 in '%s%s%s %s'", "compiler/statements: try")                   \
    X(throw_statement_bad, 1100, "ステートメント不正 '%s'", "compiler/statements: throw")                         \
    X(break_statement_bad, 1105, "ステートメント不正 '%s'", "compiler/statements: break")                         \
    X(continue_statement_bad, 1110, "ステートメント不正 '%s'", "compiler/statements: continue")                   \
    X(return_statement_bad, 1115, "ステートメント不正 '%s'", "compiler/statements: return")                       \
    X(expression_operator_bad, 1120, "ステートメントの演算子不正 '%s'", "compiler/expr")                          \
    X(too_many_items, 1123, "引数の数不正 '%s'", "compiler/expr: list")                                          \
    X(expression_bad, 1125, "フォーマット不正 '%s'", "compiler/expr, compiler/statements")                        \
    X(bracket_unclosed, 1130, "ステートメント不正 ('%.1s'なし) %.1s%s", "compiler/expr, compiler/statements")     \
    X(bracket_leftover, 1135, "ステートメント不正 ('%s') in %.1s%s", "compiler/expr, compiler/statements")        \
    X(hash_literal_bad, 1140, "文字列のフォーマット不正 '%s'", "compiler/literals, compiler/module")              \
    X(hash_literal_unclosed, 1142, "JSON文字列のフォーマット不正 '%s'", "compiler/literals")                      \
    X(block_unclosed, 1145, "ステートメント不正 '{ %s'", "compiler/statements")                                   \
    X(switch_too_many_cases, 1150, "switch文のcaseが多すぎます 'switch %s'", "compiler/statements: switch")       \
    X(switch_body_bad, 1155, "ステートメント不正 'switch %s'", "compiler/statements: switch")                     \
    X(switch_head_bad, 1160, "ステートメント不正 '%s %s'", "compiler/statements: switch")                         \
    X(module_open_failed, 1165, "ファイルオープン不正 '%s'", "compiler/module, host/loader")                      \
    X(module_name_no_extension, 1170, "モジュール名不正 '%s'", "host/request: M record")                          \
    X(module_name_not_j, 1170, "モジュール名不正 '%.*s'", "host/request: M record")                               \
    X(module_name_kind, 1175, "モジュール名不正 '%.*s'", "host/request: M record")                                \
    X(database_form_bad, 1210, "ステートメント不正(引数の数) '%s'", "compiler/statements: database forms")        \
    X(reserved_statement, 1211, "ステートメント不正 '%s'", "compiler/statements")                                 \
    X(function_form_bad, 1215, "ステートメント不正 '%s'", "compiler/statements: one-argument forms")              \
    X(function_form_count, 1220, "引数の個数不正 '%s'", "compiler/statements: one-argument forms")                \
    X(parse_int_form_bad, 1225, "ステートメント不正 '%s'", "compiler/statements: parseInt")                       \
    X(send_form_bad, 1230, "ステートメント不正 '%s'", "compiler/statements: sendToFront")                         \
    X(alert_form_bad, 1235, "ステートメント不正 '%s'", "compiler/statements: alertToFront")                       \
    X(number_literal_bad, 1405, "数字のフォーマット不正 '%s'", "compiler/literals")                               \
    X(comment_unclosed, 1580, "コメント不正", "compiler/source")                                                  \
    X(surrogate_character, 1595, "MultiToWide 文字の変換エラー(サロゲート文字)",                                  \
      "compiler/source, strings/string_slices, db/odbc")                                                          \
    X(top_call_operator, 1720, "TOP関数のステートメントの演算子不正 '%s'", "compiler/module: TOP call")           \
    X(top_call_keyword, 1725, "TOP関数のステートメント不正", "compiler/module: TOP call")                         \
    X(top_call_bad, 1730, "TOP関数のフォーマット不正 '%s'", "compiler/module: TOP call")                          \
    X(debug_expression_bad, 1810, "評価する式が不正 '%s'", "compiler/module, compiler/statements: debugger")      \
    X(pattern_literal_unclosed, 4805, "正規表現のフォーマット不正 (/)", "compiler/literals, strings/regex/object") \
    /* ---- database front end ---- */                                                                           \
    X(send_value_kind, 1215, "フロントエンドに送信するデータの型不正(%d)", "db/front/send")                        \
    X(send_name_bad, 1320, "オブジェクト名不正", "db/front/send")                                                 \
    X(send_name_not_text, 1325, "オブジェクト名不正", "db/front/send")                                            \
    X(send_keyed_array, 1330, "フロントエンドへ送信するデータの型不正", "db/front/send")                          \
    X(send_field_kind, 1335, "フロントエンドへ送信するデータの型不正", "db/front/send")                           \
    X(alert_kind, 1340, "フロントエンドへ送信するアラートの型不正", "db/front/send")                              \
    X(encode_buffer_full, 1585, "Encodeバッファーの容量不足", "db/front/records")                                 \
    /* ---- databases ---- */                                                                                    \
    X(db_library_missing, 1170, "ダイナミック リンク ライブラリが指定されていません", "db/odbc: openDb") \
    X(db_library_load, 1175, "ダイナミック リンク ライブラリ('%s')ロード失敗", "db/odbc: openDb") \
    X(db_library_function, 1180, "ダイナミック リンク ライブラリ関数'%s'へのリンク失敗", "db/odbc: openDb") \
    X(db_too_many, 3645, "接続するデータベースが多すぎます", "db/odbc: connect") \
    X(odbc_alloc_env, 3647, "SQLAllocHandle(Env) Failed", "db/odbc: connect") \
    X(odbc_env_version, 3650, "SQLSetEnvAttr(ODBC version) Failed", "db/odbc: connect") \
    X(odbc_alloc_dbc, 3655, "SQLAllocHandle(hdbc) Failed", "db/odbc: connect") \
    X(odbc_login_timeout, 3660, "SQLSetConnectAttr(timer) Failed", "db/odbc: connect") \
    X(odbc_autocommit, 3665, "SQLSetConnectAttr(auto commit) Failed", "db/odbc: connect") \
    X(odbc_driver_connect, 3676, "SQLDriverConnectW() Failed%s", "db/odbc: connect") \
    X(db_parameter_length, 1600, "DBパラメータの長さ不正", "db/odbc: connect") \
    X(odbc_end_tran, 3680, "SQLEndTran Failed%s", "db/odbc: closeDb commit") \
    X(odbc_describe_param, 3625, "SQLDescribeParam Failed%s", "db/odbc: binding") \
    X(odbc_bind_wide, 3630, "SQLBindParameter Failed%s", "db/odbc: binding") \
    X(odbc_bind_copied, 3635, "SQLBindParameter Failed%s", "db/odbc: binding") \
    X(odbc_bind_in_place, 3640, "SQLBindParameter Failed%s", "db/odbc: binding") \
    X(odbc_alloc_direct, 3685, "SQLAllocHandle(main) Failed%s", "db/odbc: execute direct") \
    X(odbc_exec_direct, 3690, "SQLExecDirectW Failed%s", "db/odbc: execute direct") \
    X(odbc_row_count_direct, 3697, "SQLRowCount Failed%s", "db/odbc: execute direct") \
    X(odbc_free_direct, 3700, "SQLFreeHandle Failed%s", "db/odbc: execute direct") \
    X(odbc_alloc_prepared, 3705, "SQLAllocHandle(main) Failed%s", "db/odbc: execute prepared") \
    X(odbc_prepare_prepared, 3710, "SQLPrepareW Failed%s", "db/odbc: execute prepared") \
    X(odbc_num_params_prepared, 3720, "SQLNumParams Failed%s", "db/odbc: execute prepared") \
    X(bind_count_prepared, 3720, "バインドの数と値が不一致", "db/odbc: execute prepared") \
    X(odbc_execute_prepared, 3725, "SQLExecute Failed%s", "db/odbc: execute prepared") \
    X(odbc_row_count_prepared, 3727, "SQLRowCount Failed%s", "db/odbc: execute prepared") \
    X(odbc_free_stmt_prepared, 3730, "SQLFreeStmt Failed%s", "db/odbc: execute prepared") \
    X(odbc_free_prepared, 3735, "SQLFreeHandle Failed%s", "db/odbc: execute prepared") \
    X(odbc_alloc_per_row, 3740, "SQLAllocHandle(main) Failed%s", "db/odbc: execute per row") \
    X(odbc_prepare_per_row, 3745, "SQLPrepareW Failed%s", "db/odbc: execute per row") \
    X(odbc_num_params_per_row, 3755, "SQLNumParams Failed%s", "db/odbc: execute per row") \
    X(bind_count_per_row, 3755, "バインドの数と値が不一致", "db/odbc: execute per row") \
    X(odbc_execute_per_row, 3760, "SQLExecute Failed%s", "db/odbc: execute per row") \
    X(odbc_row_count_per_row, 3762, "SQLRowCount Failed%s", "db/odbc: execute per row") \
    X(odbc_free_stmt_per_row, 3765, "SQLFreeStmt Failed%s", "db/odbc: execute per row") \
    X(odbc_free_per_row, 3770, "SQLFreeHandle Failed%s", "db/odbc: execute per row") \
    X(odbc_alloc_read, 3775, "SQLAllocHandle(main) Failed%s", "db/odbc: reader") \
    X(odbc_prepare_read, 3780, "SQLPrepareW Failed%s", "db/odbc: reader") \
    X(odbc_num_params_read, 3790, "SQLNumParams Failed%s", "db/odbc: reader") \
    X(bind_count_read, 3790, "バインドの数と値が不一致", "db/odbc: reader") \
    X(odbc_num_result_cols, 3795, "SQLNumResultCols Failed%s", "db/odbc: reader") \
    X(too_many_columns, 3800, "カラム数が多すぎます(MAX 256)", "db/odbc: reader") \
    X(odbc_describe_col, 3805, "SQLDescribeCol Failed%s", "db/odbc: reader") \
    X(odbc_bind_col, 3807, "SQLBindCol Failed%s", "db/odbc: reader") \
    X(odbc_execute_read, 3810, "SQLExecute Failed%s", "db/odbc: reader") \
    X(into_column_count, 3815, "引数とカラム数が不一致", "db/odbc: reader, selectInto") \
    X(into_row_count, 3820, "レコード数不正", "db/odbc: reader, selectInto") \
    X(row_callback_failed, 3825, "メモリ領域が確保できません", "db/odbc: reader") \
    X(odbc_fetch, 3830, "SQLFetch Failed%s", "db/odbc: reader") \
    X(odbc_free_stmt_close, 3835, "SQLFreeStmt Failed%s", "db/odbc: reader") \
    X(odbc_free_stmt_unbind, 3840, "SQLFreeStmt Failed%s", "db/odbc: reader") \
    X(odbc_free_stmt_reset, 3845, "SQLFreeStmt Failed%s", "db/odbc: reader") \
    X(odbc_free_read, 3850, "SQLFreeHandle Failed%s", "db/odbc: reader") \
    X(db_kind_bad, 1460, "データベース名不正", "db/statements: openDb") \
    X(close_connection_bad, 1365, "データベース切断の引数不正", "db/statements: closeDb") \
    X(close_operation_kind, 1370, "データベース切断時の操作(commit/rollback)不正", "db/statements: closeDb") \
    X(close_operation_text, 1375, "データベース切断時の操作(commit/rollback)不正", "db/statements: closeDb") \
    X(sql_connection_bad, 1255, "データベース接続不正", "db/statements") \
    X(sql_name_bad, 1260, "JavaScriptの変数名不正", "db/statements: selectToFront, selectHashToFront") \
    X(sql_text_bad, 1265, "SQL文不正", "db/statements") \
    X(sql_text_detail, 1350, "SQL文不正(%s)", "db/sql") \
    X(bind_value_kind, 1355, "バインドするデータ型不正", "db/statements") \
    X(execute_values_bad, 1270, "SQL関数の最終引数不正", "db/statements: execute") \
    X(execute_positional_bad, 1275, "バインド不正", "db/statements: execute") \
    X(bind_number_bad, 1250, "バインド番号不正", "db/statements: execute") \
    X(select_into_target, 1280, "関数selIntoの値設定先不正", "db/statements: selectInto") \
    X(to_front_count, 1305, "引数の個数不正", "db/statements: selectToFront") \
    X(hash_to_front_count, 1310, "引数の個数不正", "db/statements: selectHashToFront") \
    X(row_buffer_failed, 1345, "メモリ領域が確保できません", "db/statements: selectToFront, selectHashToFront") \
    /* ---- memory ---- */                                                                                       \
    X(out_of_memory, 1400, "メモリ領域を取得できません", "runtime, builtins, strings, interp, host/journal")       \
    X(area_large_blocks, 1430, "buffer Overflow(area 15)", "runtime/area")                                        \
    X(area_cell_pages, 1435, "Buffer Overflow(Area DW)", "runtime/area")                                          \
    X(area_word_pages, 1435, "Buffer Overflow(Area Free)", "runtime/area, host/objfile")                          \
    X(area_class_pages, 1435, "buffer Overflow(area %d)", "runtime/area")                                         \
    X(area_cell16_pages, 1435, "Buffer Overflow(Area DW16)", "runtime/area, host/objfile")                        \
    X(area_self_16, 2495, "システム・エラー(get_self_16)", "runtime/area")                                        \
    /* ---- object images ---- */                                                                                \
    X(object_file_length, 1440, "オブジェクトファイル不正(長さ) '%s'", "host/objfile: truncated, a size past the end")                            \
    X(object_file_compression, 1445, "オブジェクトファイル不正(圧縮) '%s'", "host/objfile: a coded stream out of bounds")                       \
    X(object_file_reference, 1450, "オブジェクトファイル不正(参照) '%s'", "host/objfile: a reference outside the new pages")                         \
    X(object_file_symbols, 1455, "オブジェクトファイル不正(シンボル) '%s'", "host/objfile: symbol offsets outside the text")                       \
    X(object_file_section, 1459, "オブジェクトファイル不正(セクション %08X) '%s'", "host/objfile: an unknown section tag")                \
    /* ---- the request ---- */                                                                                  \
    X(request_count_prefix, 1500, "文字列の長さ不正", "host/request: count")                                      \
    X(request_count_digits, 1505, "文字列の長さ不正", "host/request: count")                                      \
    X(decode_character_bad, 1510, "デコード文字不正", "host/request, interp/globalfns: percent decoding")          \
    X(request_name_prefix, 1520, "文字列の長さ不正", "host/request: name")                                        \
    X(request_name_length, 1525, "文字列の長さ不正", "host/request: name")                                        \
    X(request_text_prefix, 1530, "文字列の長さ不正", "host/request: text")                                        \
    X(request_text_length, 1535, "文字列の長さ不正", "host/request: text")                                        \
    X(request_length_prefix, 1540, "フォーマット不正(%.*s)", "host/request: short length")                        \
    X(request_short_length, 1545, "文字列の長さ不正", "host/request: short length")                               \
    X(request_int_length, 1550, "文字列の長さ不正", "host/request: integer entry")                                \
    X(request_int_digit, 1555, "文字列の長さ不正", "host/request: integer entry")                                 \
    X(request_value_prefix, 1560, "文字列の長さ不正", "host/request: field value")                                \
    X(request_value_length, 1565, "文字列の長さ不正", "host/request: field value")                                \
    X(request_real_bad, 1570, "実数不正", "host/request: field value")                                            \
    X(request_temporary_name, 1575, "テンポラリ名不正", "host/request: object entry")                             \
    X(request_number_bad, 1700, "数値の文字列不正", "host/request: number entry")                                 \
    X(request_object_name, 1705, "Object名不正", "host/request: object reference")                                \
    X(request_object_overflow, 1710, "Objectバッファーのオーバーフロー", "host/request: object entry")            \
    X(request_too_many_modules, 1735, "モジュール(.js、.jo)が多すぎます。125ファイル以下にしてください。",         \
      "host/request: M record")                                                                                   \
    X(request_top_too_long, 1740, "TOP関数が長すぎます(255Byte以下)", "host/request: P record")                   \
    X(request_eval_too_long, 1745, "TOP関数が長すぎます(255Byte以下)", "host/request: E record")                  \
    X(request_object_kind, 1750, "データの型不正(Hash, Array, Variable でない).", "host/request")                 \
    X(token_refused, 1775, "認証エラー", "host/token")                                                            \
    X(token_expired, 1775, "タイムアウト", "host/token")                                                          \
    X(cpu_limit, 1780, "CPU時間の上限を超えました(CPU_LIMIT)", "runtime/limits")                                  \
    X(memory_limit, 1785, "メモリの上限を超えました(MEMORY_LIMIT)", "runtime/limits")                             \
    X(no_top_function, 1800, "実行するJavaScriptのTOP関数が指定されていません", "host/driver")                     \
    X(no_module, 1805, "ロードするJavaScriptのモジュールが指定されていません", "host/driver")                      \
    X(debug_eval_rejected, 1860, "デバッグでのEVALエラー", "interp/evaluate: debugger")                           \
    /* ---- fatal start-up errors (record S148555, no code) ---- */                                              \
    X(fatal_length_not_number, 0, "CONTENT_LENGTH is not not number format.", "host/driver")                      \
    X(fatal_length_bad, 0, "受信データの長さ不正(CONTENT_LENGTH)", "host/driver")                                 \
    X(fatal_too_many_modules, 0, "モジュール(.js、.jo)が多すぎます。125ファイル以下にしてください。",             \
      "host/config")                                                                                              \
    X(fatal_client_address, 0, "ClientのIPアドレス定義　不正", "host/config")                                     \
    X(fatal_time_interval, 0, "configファイルのTIME_INTERVALは整数を設定してください。", "host/config")           \
    X(fatal_cpu_limit, 0, "configファイルのCPU_LIMITは整数を設定してください。", "host/config")                   \
    X(fatal_memory_limit, 0, "configファイルのMEMORY_LIMITは整数を設定してください。", "host/config")             \
    X(fatal_config_format, 0, "Configのフォーマット不正", "host/config")                                          \
    X(fatal_config_unopened, 0, "koru設定ファイル(%s)が開けません", "host/config")                                \
    X(fatal_configs_unopened, 0, "koru設定ファイル(%s, %s)が開けません", "host/config")                           \
    X(fatal_modules_changed, 0, "JSモジュールのディレクトリの内容が変わっています。", "host/checksum")            \
    /* ---- interpreter ---- */                                                                                  \
    X(number_text_bad, 1405, "数字のフォーマット不正 '%.*s'", "interp/globalfns: Integer, Float")                 \
    X(integer_argument_bad, 1410, "Integerの引数不正", "interp/globalfns")                                        \
    X(float_argument_bad, 1415, "Floatの引数不正", "interp/globalfns")                                            \
    X(new_argument_bad, 1420, "newの引数不正", "interp/calls")                                                    \
    X(value_ptr_kind, 2000, "value_ptrのタイプ不正", "interp/variables")                                          \
    X(template_overflow, 2005, "バッファーのオーバーフロー ${...}", "interp/evaluate: template")                  \
    X(template_unclosed, 2010, "フォーマット不正 ${ ... }", "interp/evaluate: template")                          \
    X(bad_expression, 2015, "評価式不正 '%s'", "interp/evaluate")                                                 \
    X(bad_expression_text, 2015, "評価式不正 '%.*s'", "interp/evaluate")                                          \
    X(name_index_bad, 2023, "オペランド不正[index]", "interp/variables: index by name")                           \
    X(index_negative, 2025, "インデックス不正", "interp/variables: index by number")                              \
    X(number_index_bad, 2030, "オペランド不正[index]", "interp/variables: index by number")                       \
    X(index_kind_bad, 2032, "インデックス不正", "interp/variables")                                               \
    X(member_bad, 2035, "ステートメント不正(key/method)", "interp/variables")                                     \
    X(var_name_bad, 2040, "変数名不正", "interp/variables: var")                                                  \
    X(block_declaration_outside, 2045, "ステートメント不正(let/const)", "interp/variables")                       \
    X(block_name_bad, 2047, "変数名不正(let/const)", "interp/variables")                                          \
    X(block_name_bad_init, 2048, "変数名不正(let/const)", "interp/variables")                                     \
    X(for_of_bad, 2050, "ステートメント不正(for ... of)", "interp/control")                                       \
    X(for_of_target_bad, 2055, "ステートメント不正(for .. of)", "interp/control")                                 \
    X(for_in_bad, 2056, "ステートメント不正(for ... in)", "interp/control")                                       \
    X(for_in_target_bad, 2057, "ステートメント不正(for .. in)", "interp/control")                                 \
    X(try_catch_bad, 2060, "ステートメント不正(try ... catch)", "interp/control")                                 \
    X(break_outside, 2070, "ステートメント不正(break)", "interp/control")                                         \
    X(continue_outside, 2075, "ステートメント不正(continue)", "interp/control")                                   \
    X(return_outside, 2080, "return文不正", "interp/control")                                                     \
    X(console_method_unknown, 2140, "メソッド名不正", "interp/calls: console")                                    \
    X(function_method_unknown, 2145, "メソッド名不正", "interp/calls: function value")                            \
    X(not_a_function, 2150, "関数不正", "interp/calls")                                                           \
    X(not_a_function_named, 2155, "関数不正(%s), %d", "interp/calls")                                             \
    X(post_increment_const, 2200, "オペレーション不正(++)", "interp/assign")                                      \
    X(post_increment_kind, 2205, "オペレーション不正(++)", "interp/assign")                                       \
    X(pre_increment_const, 2210, "オペレーション不正(++)", "interp/assign")                                       \
    X(pre_increment_kind, 2215, "オペレーション不正(++)", "interp/assign")                                        \
    X(post_decrement_const, 2220, "オペレーション不正(--)", "interp/assign")                                      \
    X(post_decrement_kind, 2225, "オペレーション不正(--)", "interp/assign")                                       \
    X(pre_decrement_const, 2230, "オペレーション不正(--)", "interp/assign")                                       \
    X(pre_decrement_kind, 2235, "オペレーション不正(--)", "interp/assign")                                        \
    X(add_kind, 2240, "データの型不正(+)", "interp/operators")                                                    \
    X(add_assign_const, 2245, "オペレーション不正(+=)", "interp/assign")                                          \
    X(add_assign_place, 2250, "オペレーション不正(+=)", "interp/assign")                                          \
    X(add_assign_kind, 2255, "オペレーション(+=)のデータ型不正", "interp/assign")                                 \
    X(bit_first_not_int, 2257, "オペランド不正(非整数)", "interp/operators: & | ^")                               \
    X(bit_other_not_int, 2260, "オペランド不正(非整数)", "interp/operators: & | ^")                               \
    X(shift_left_not_int, 2265, "オペランド不正(非整数)", "interp/operators: shifts")                             \
    X(shift_right_not_int, 2270, "オペランド不正(非整数)", "interp/operators: shifts")                            \
    X(shift_negative, 2275, "シフト数不正", "interp/operators: shifts")                                           \
    X(bit_not_not_int, 2280, "オペランド不正(非整数)", "interp/operators: ~")                                     \
    X(bit_assign_right_not_int, 2285, "オペランド不正(非整数)", "interp/assign: &= |= ^=")                        \
    X(bit_assign_const, 2290, "オペレーション不正", "interp/assign: &= |= ^=")                                    \
    X(bit_assign_left_not_int, 2295, "オペランド不正(非整数)", "interp/assign: &= |= ^=")                         \
    X(bit_assign_place, 2300, "オペレーション不正", "interp/assign: &= |= ^=")                                    \
    X(number_operand_text, 2305, "オペランド不正(非数値)", "interp/numbers")                                      \
    X(number_operand_kind, 2310, "オペランド不正(非数値)", "interp/numbers")                                      \
    X(arith_assign_const, 2315, "オペレーション不正", "interp/assign")                                            \
    X(arith_assign_place, 2317, "オペレーション不正", "interp/assign")                                            \
    X(assign_const, 2320, "オペレーション不正", "interp/assign")                                                  \
    X(division_by_zero, 2330, "オペレーション不正(０割)", "interp/operators")                                     \
    X(number_argument_bad, 2335, "Numberの引数不正", "interp/globalfns")                                          \
    X(decode_not_text, 2340, "引数不正(非文字列)", "interp/globalfns: decodeURI")                                 \
    X(encode_not_text, 2345, "引数不正(非文字列)", "interp/globalfns: encodeURI")                                 \
    X(eval_not_text, 2350, "引数不正(非文字列)", "interp/globalfns: eval")                                        \
    X(eval_text_too_long, 2357, "評価する文字列が長すぎます。(255バイト以下)", "interp/globalfns: eval")          \
    X(throw_bad, 2360, "例外ステートメント不正", "interp/control")                                                \
    X(new_class_bad, 2365, "newステートメント不正", "interp/calls")                                               \
    X(new_bad, 2370, "newステートメント不正", "interp/calls")                                                     \
    X(integer_argument_count, 2375, "引数の個数不正", "interp/globalfns")                                         \
    X(float_argument_count, 2380, "引数の個数不正", "interp/globalfns")                                           \
    /* ---- built-in families: unknown methods and argument counts ---- */                                       \
    X(date_method_unknown, 2085, "DATEのメソッド名不正", "interp/calls: Date")                                    \
    X(date_static_too_few, 2090, "引数の個数不正", "builtins/date/date_construct")                                \
    X(date_static_too_many, 2093, "引数の個数不正", "builtins/date/date_construct")                               \
    X(string_static_method_unknown, 2095, "STRINGのメソッド名不正", "interp/calls: String")                       \
    X(string_static_too_few, 2097, "引数の個数不正", "builtins/string_static")                                    \
    X(string_static_too_many, 2098, "引数の個数不正", "builtins/string_static")                                   \
    X(object_method_unknown, 2100, "OBJECTのメソッド名不正", "interp/calls: Object")                              \
    X(object_keys_too_few, 2105, "引数の個数不正", "builtins/object")                                             \
    X(object_keys_too_many, 2110, "引数の個数不正", "builtins/object")                                            \
    X(math_method_unknown, 2115, "Mathのメソッド名不正", "interp/calls: Math")                                    \
    X(math_argument_count, 2120, "引数の個数不正", "builtins/math")                                               \
    X(number_method_unknown, 2125, "NUMBERのメソッド名不正", "interp/calls: Number")                              \
    X(number_too_few, 2130, "引数の個数不正", "builtins/number")                                                  \
    X(number_too_many, 2135, "引数の個数不正", "builtins/number")                                                 \
    X(hash_method_unknown, 2347, "HASHのメソッド名不正", "interp/calls: hash")                                    \
    X(hash_too_few, 2450, "引数の個数不正", "builtins/hash")                                                      \
    X(hash_too_many, 2455, "引数の個数不正", "builtins/hash")                                                     \
    X(keyed_method_unknown, 2552, "Arrayのメソッド名不正", "interp/calls: keyed array")                           \
    X(keyed_too_few, 2555, "引数の個数不正", "builtins/array: keyed array")                                       \
    X(keyed_too_many, 2560, "引数の個数不正", "builtins/array: keyed array")                                      \
    X(keyed_method_missing, 2565, "Arrayのメソッド名不正", "builtins/array: keyed array")                         \
    X(array_method_unknown, 2570, "Arrayのメソッド名不正", "interp/calls: array")                                 \
    X(array_too_few, 2575, "引数の個数不正", "builtins/array")                                                    \
    X(array_too_many, 2580, "引数の個数不正", "builtins/array")                                                   \
    X(string_method_unknown, 2820, "Stringのメソッド名不正", "interp/calls: string")                              \
    X(string_too_few, 2825, "引数の個数不正", "strings/string_methods")                                           \
    X(string_too_many, 2830, "引数の個数不正", "strings/string_methods")                                          \
    X(regexp_method_unknown, 5070, "正規表現のメソッド名不正", "interp/calls: RegExp")                            \
    X(regexp_argument_count, 5075, "引数の個数不正", "strings/regexp_methods")                                    \
    X(date_value_method_unknown, 5575, "DATEのメソッド名不正", "interp/calls: date value")                        \
    X(date_too_few, 5580, "DATEのメソッドで引数不正", "builtins/date/date_methods")                               \
    X(date_too_many, 5585, "DATEのメソッドで引数不正", "builtins/date/date_methods")                              \
    /* ---- built-ins ---- */                                                                                    \
    X(from_char_code_not_int, 2400, "String.fromCharCodeの引数不正(非整数)", "builtins/string_static")            \
    X(from_char_code_range, 2405, "String.fromCharCodeの引数不正(UTF16の範囲外)", "builtins/string_static")       \
    X(from_code_point_not_int, 2410, "String.fromCharCodeの引数不正(非整数)", "builtins/string_static")           \
    X(from_code_point_range, 2415, "String.fromCharCodeの引数不正(ユニコードの範囲外)", "builtins/string_static") \
    X(object_keys_argument, 2420, "Object.keysの引数不正", "builtins/object")                                     \
    X(hash_key_bad, 2425, "HASHのキー不正", "builtins/hash")                                                      \
    X(hash_callback_bad, 2430, "引数の個数不正", "builtins/hash: callback")                                       \
    X(hash_callback_value_name, 2435, "引数の個数不正", "builtins/hash: callback")                                \
    X(hash_callback_key_name, 2440, "引数の個数不正", "builtins/hash: callback")                                  \
    X(hash_callback_hash_name, 2445, "引数の個数不正", "builtins/hash: callback")                                 \
    X(array_position_not_int, 2500, "引数が整数ではありません", "builtins/containers: positions")                 \
    X(array_concat_argument, 2505, "Array.concatの引数不正", "builtins/array")                                    \
    X(index_of_argument, 2510, "Arrayの引数不正", "builtins/array, builtins/keyed: indexOf")                      \
    X(last_index_of_argument, 2515, "Arrayの引数不正", "builtins/array, builtins/keyed: lastIndexOf")             \
    X(no_display_form, 2520, "データの型不正", "runtime/text")                                                    \
    X(no_plain_form, 2522, "データの型不正", "runtime/text")                                                      \
    X(join_separator_bad, 2525, "引数不正", "runtime/text: join")                                                 \
    X(splice_count_not_int, 2530, "引数不正(非整数)", "builtins/array_ranges: splice")                            \
    X(splice_nothing, 2535, "引数不正(要素の削除・追加がない)", "builtins/array_ranges: splice")                  \
    X(sort_compare_result, 2540, "ソートでの比較結果不正", "builtins/array_sort")                                 \
    X(sort_compare_not_function, 2545, "引数不正(非関数)", "builtins/array_sort")                                 \
    X(sort_compare_params, 2550, "引数の個数不正", "builtins/array_sort")                                         \
    /* ---- strings ---- */                                                                                      \
    X(index_of_position, 2700, "引数不正(非整数)", "strings/string_search: indexOf")                              \
    X(last_index_of_position, 2705, "引数不正(非整数)", "strings/string_search: lastIndexOf")                     \
    X(slice_end_not_int, 2710, "引数不正(非整数)", "strings/string_slices: slice")                                \
    X(slice_start_not_int, 2715, "引数不正(非整数)", "strings/string_slices: slice")                              \
    X(replace_too_many, 2716, "正規表現 置換個数不正", "strings/replace_template")                                \
    X(replace_group_number, 2717, "正規表現 $n 不正", "strings/replace_template")                                 \
    X(replace_group_name, 2718, "RegExp グループ不正", "strings/replace_template")                                \
    X(replace_with_not_text, 2720, "引数不正(非文字列)", "strings/pattern_methods: replace")                      \
    X(replace_pattern_not_text, 2725, "引数不正(非文字列)", "strings/pattern_methods: replace")                   \
    X(replace_all_with_not_text, 2730, "引数不正(非文字列)", "strings/pattern_methods: replaceAll")               \
    X(replace_all_not_global, 2732, "引数不正(正規表現のgオプション)", "strings/pattern_methods: replaceAll")     \
    X(replace_all_pattern_not_text, 2735, "引数不正(非文字列)", "strings/pattern_methods: replaceAll")            \
    X(split_limit_not_int, 2740, "引数不正(非整数)", "strings/pattern_methods: split")                            \
    X(match_all_not_global, 2745, "正規表現のオプション不正", "strings/pattern_methods: matchAll")                \
    X(match_lone_surrogate, 2750, "REGEXPのマルチバイト不正", "strings/pattern_methods")                          \
    X(pad_end_length, 2760, "引数不正(非整数)", "strings/string_build: padEnd")                                   \
    X(pad_end_text, 2765, "引数不正(非文字列)", "strings/string_build: padEnd")                                   \
    X(pad_start_length, 2770, "引数不正(非整数)", "strings/string_build: padStart")                               \
    X(pad_start_text, 2775, "引数不正(非文字列)", "strings/string_build: padStart")                               \
    X(includes_position, 2780, "引数不正(非数値)", "strings/string_search: includes")                             \
    X(includes_not_text, 2785, "引数不正(非文字列)", "strings/string_search: includes")                           \
    X(locale_compare_missing, 2787, "関数 localeCompare は実装されていません。", "strings/string_build")          \
    X(repeat_not_number, 2795, "引数不正(非数値)", "strings/string_build: repeat")                                \
    X(repeat_negative, 2800, "引数不正(負数)", "strings/string_build: repeat")                                    \
    X(starts_with_position, 2805, "引数不正(非数値)", "strings/string_search: startsWith")                        \
    X(starts_with_not_text, 2810, "引数不正(非文字列)", "strings/string_search: startsWith")                      \
    X(ends_with_not_text, 2815, "引数不正(非文字列)", "strings/string_search: endsWith")                          \
    X(encode_conversion, 4800, "文字のEncode変換不正", "strings/match_result, strings/pattern_methods, regex")     \
    /* ---- patterns ---- */                                                                                     \
    X(pattern_class_empty, 4600, "正規表現のフォーマット不正 ([ ])", "strings/regex/compile")                     \
    X(pattern_nothing_to_repeat, 4605, "正規表現のフォーマット不正 (%s)", "strings/regex/compile")                \
    X(pattern_repeat_repeated, 4610, "正規表現のフォーマット不正 (%s)", "strings/regex/compile")                  \
    X(pattern_empty_alternative, 4615, "正規表現のフォーマット不正 (空文字列)", "strings/regex/compile")          \
    X(pattern_group_name, 4625, "RegExp グループ不正", "strings/regex/compile")                                   \
    X(pattern_group_name_long, 4630, "RegExp グループ不正", "strings/regex/compile")                              \
    X(pattern_group_name_open, 4635, "'%s'のフォーマット不正 (、)", "strings/regex/compile")                      \
    X(pattern_group_bad, 4640, "'%s'のフォーマット不正 (、)", "strings/regex/compile")                            \
    X(pattern_lookbehind_bad, 4645, "'%s'のフォーマット不正 (?<=...)。(?<!...)", "strings/regex/compile")         \
    X(pattern_lookahead_bad, 4650, "'%s'のフォーマット不正 (?=...)、(?!...)", "strings/regex/compile")            \
    X(pattern_star_repeated, 4655, "'%s'のフォーマット不正 (*)", "strings/regex/compile")                         \
    X(pattern_star_bad, 4660, "'%s'のフォーマット不正 (*)", "strings/regex/compile")                              \
    X(pattern_plus_repeated, 4665, "'%s'のフーマット不正 (*+)", "strings/regex/compile")                          \
    X(pattern_plus_bad, 4670, "'%s'のォーマット不正 (+)", "strings/regex/compile")                                \
    X(pattern_question_repeated, 4675, "'%s'のォーマット不正 (*)", "strings/regex/compile")                       \
    X(pattern_question_bad, 4680, "'%s'のォーマット不正 (?)", "strings/regex/compile")                            \
    X(pattern_end_not_last, 4685, "'%s'のォーマット不正 ($)", "strings/regex/compile")                            \
    X(pattern_end_followed, 4687, "'%s'のォーマット不正 ($)", "strings/regex/compile")                            \
    X(pattern_hex_escape, 4690, "正規表現の文字不正", "strings/regex/compile: \\x")                               \
    X(pattern_unicode_escape, 4695, "正規表現の文字不正", "strings/regex/compile: \\u")                           \
    X(pattern_character_escape, 4700, "正規表現の文字不正", "strings/regex/compile")                              \
    X(pattern_back_reference, 4705, "正規表現のフォーマット不正 (\\0 ... \\9)", "strings/regex/compile")          \
    X(pattern_escape_at_end, 4710, "正規表現のフォーマット不正", "strings/regex/compile")                         \
    X(pattern_escape_bad, 4715, "正規表現のフォーマット不正", "strings/regex/compile")                            \
    X(pattern_class_range, 4720, "正規表現のフォーマット不正 ([ - ])", "strings/regex/compile")                   \
    X(pattern_class_escape, 4745, "正規表現のエスケープ不正", "strings/regex/compile")                            \
    X(pattern_braces_empty, 4750, "正規表現のフォーマット不正 ({ })", "strings/regex/compile")                    \
    X(pattern_braces_zero, 4755, "正規表現のフォーマット不正 ({ })", "strings/regex/compile")                     \
    X(pattern_braces_number, 4760, "正規表現の数字フォーマット不正 { }", "strings/regex/compile")                 \
    X(pattern_braces_range, 4765, "正規表現のフォーマット不正", "strings/regex/compile")                          \
    X(pattern_braces_max, 4770, "正規表現の数字フォーマット不正 { }", "strings/regex/compile")                    \
    X(pattern_class_unclosed, 4775, "正規表現のフォーマット不正 ([ ])", "strings/regex/compile")                  \
    X(pattern_class_open, 4780, "正規表現のフォーマット不正 ([ ])", "strings/regex/compile")                      \
    X(pattern_missing, 4785, "正規表現のフォーマット不正 (パターンなし)", "strings/regex/compile")                \
    X(pattern_group_empty, 4790, "正規表現のフォーマット不正 (パターンなし)", "strings/regex/compile")            \
    X(pattern_flags_bad, 4795, "正規表現のオプション不正(%s)", "strings/regex/object")                            \
    X(pattern_too_big, 4810, "正規表現のフォーマット不正 (サイズ)", "strings/regex/compile: too big to store")                      \
    X(pattern_match_budget, 4850, "正規表現の照合回数超過", "strings/regex/match: past the step budget")                                \
    X(exec_not_text, 5042, "引数不正(非文字列)", "strings/regexp_methods: exec")                                  \
    X(test_not_text, 5045, "引数不正(非文字列)", "strings/regexp_methods: test")                                  \
    X(pattern_source_braces, 5050, "正規表現の{min,max}不正", "strings/regex/source_text")                        \
    X(pattern_source_command, 5065, "正規表現のコマンド不正", "strings/regex/source_text")                        \
    X(regexp_property_bad, 5080, "正規表現プロパティ不正", "strings/regexp_methods, interp/variables")             \
    X(regexp_pattern_not_text, 5085, "正規表現のパターン不正(非文字列)", "strings/regexp_methods: new RegExp")     \
    X(regexp_flags_not_text, 5090, "正規表現のオプション不正(非文字列)", "strings/regexp_methods: new RegExp")     \
    /* ---- dates ---- */                                                                                        \
    X(date_before_epoch, 5500, "Date関連ステートメント不正(1970/01/01以前の年月日)", "builtins/date/date_value")   \
    X(date_fields_before_epoch, 5505, "Date関連ステートメント不正(1970/01/01以前の年月日)",                      \
      "builtins/date: construct, parse, setters")                                                                 \
    X(date_english_text_bad, 5510, "Dateで日付・時刻の文字列不正", "builtins/date/date_parse")                    \
    X(date_numeric_text_bad, 5515, "Dateで日付・時刻の文字列不正", "builtins/date/date_parse")                    \
    X(date_value_bad, 5520, "Dateで日付・時刻の値不正", "builtins/date/date_construct")                           \
    X(date_arguments_bad, 5525, "Dateで日付・時刻の文字列・値不正", "builtins/date/date_construct")               \
    X(date_parse_not_text, 5530, "Dateで日付・時刻の文字列不正", "builtins/date/date_construct: Date.parse")      \
    X(date_set_year, 5535, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")                          \
    X(date_set_month, 5540, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")                         \
    X(date_set_day, 5545, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")                           \
    X(date_set_hours, 5550, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")                         \
    X(date_set_minutes, 5555, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")                       \
    X(date_set_seconds, 5560, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")                       \
    X(date_set_milliseconds, 5565, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")                  \
    X(date_set_time, 5570, "Dateのメソッド %.*s 引数不正", "builtins/date/date_methods")

namespace koru::err {

enum class Id : uint16_t {
#define KORU_ERROR_ID(name, code, format, where) name,
    KORU_ERRORS(KORU_ERROR_ID)
#undef KORU_ERROR_ID
};

// The columns, by row number.  Raising reads the code and the format; the
// name and the where column are for the tests and for readers.
inline constexpr int kCodes[] = {
#define KORU_ERROR_CODE(name, code, format, where) code,
    KORU_ERRORS(KORU_ERROR_CODE)
#undef KORU_ERROR_CODE
};
inline constexpr const char* kFormats[] = {
#define KORU_ERROR_FORMAT(name, code, format, where) format,
    KORU_ERRORS(KORU_ERROR_FORMAT)
#undef KORU_ERROR_FORMAT
};
inline constexpr const char* kNames[] = {
#define KORU_ERROR_NAME(name, code, format, where) #name,
    KORU_ERRORS(KORU_ERROR_NAME)
#undef KORU_ERROR_NAME
};
inline constexpr const char* kWheres[] = {
#define KORU_ERROR_WHERE(name, code, format, where) where,
    KORU_ERRORS(KORU_ERROR_WHERE)
#undef KORU_ERROR_WHERE
};
inline constexpr size_t kRowCount = sizeof kCodes / sizeof kCodes[0];

constexpr int code_of(Id id) { return kCodes[static_cast<size_t>(id)]; }
constexpr const char* format_of(Id id) { return kFormats[static_cast<size_t>(id)]; }

// ---- what a format takes ----

// The kind of one argument a conversion consumes: an integer (d i c, and a
// '*' width or precision), an unsigned integer (u x X) or a text (s).
enum class ArgKind : uint8_t { Int, Unsigned, Text };

struct FormatArgs {
    static constexpr unsigned kMax = 8;
    bool valid = true;      // only the conversions above, at most kMax arguments
    bool has_percent = false;
    unsigned count = 0;
    ArgKind kinds[kMax] = {};
};

constexpr FormatArgs format_args(std::string_view f) {
    FormatArgs a;
    auto take = [&a](ArgKind k) {
        if (a.count == FormatArgs::kMax) a.valid = false;
        else a.kinds[a.count++] = k;
    };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        a.has_percent = true;
        if (++i == f.size()) return a.valid = false, a;
        if (f[i] == '%') continue;
        while (i < f.size() && (f[i] == '-' || f[i] == '0' || f[i] == '+' || f[i] == ' ' || f[i] == '#')) ++i;
        if (i < f.size() && f[i] == '*') take(ArgKind::Int), ++i;
        else
            while (i < f.size() && digit(f[i])) ++i;
        if (i < f.size() && f[i] == '.') {
            ++i;
            if (i < f.size() && f[i] == '*') take(ArgKind::Int), ++i;
            else
                while (i < f.size() && digit(f[i])) ++i;
        }
        if (i == f.size()) return a.valid = false, a;
        switch (f[i]) {
        case 'd': case 'i': case 'c': take(ArgKind::Int); break;
        case 'u': case 'x': case 'X': take(ArgKind::Unsigned); break;
        case 's': take(ArgKind::Text); break;
        default: a.valid = false; break;
        }
    }
    return a;
}

// The kind an argument of type T passes as; Other for anything a format
// cannot take (a std::string, a 64-bit number, a double...).
enum class PassKind : uint8_t { Int, Unsigned, Text, Other };

template <typename T>
constexpr PassKind pass_kind() {
    using U = std::decay_t<T>;
    if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) return PassKind::Text;
    else if constexpr (std::is_integral_v<U> && !std::is_same_v<U, bool> && sizeof(U) <= sizeof(int))
        return std::is_signed_v<U> ? PassKind::Int : PassKind::Unsigned;
    else return PassKind::Other;
}

// An integer conversion takes either signedness, as printf does for values
// both can hold; a text takes only a C string.
constexpr bool fits(ArgKind want, PassKind have) {
    if (want == ArgKind::Text) return have == PassKind::Text;
    return have == PassKind::Int || have == PassKind::Unsigned;
}

template <typename... A>
constexpr bool args_fit(const FormatArgs& f) {
    if (!f.valid || f.count != sizeof...(A)) return false;
    constexpr PassKind have[] = {pass_kind<A>()..., PassKind::Other};
    for (unsigned i = 0; i < f.count; ++i)
        if (!fits(f.kinds[i], have[i])) return false;
    return true;
}

// The value an argument passes to the routine's printf.
template <typename T>
constexpr auto pass(T v) {
    if constexpr (pass_kind<T>() == PassKind::Text) return static_cast<const char*>(v);
    else if constexpr (pass_kind<T>() == PassKind::Int) return static_cast<int>(v);
    else return static_cast<unsigned>(v);
}

// ---- naming a row ----

// A row, named at a raise site: err::division_by_zero is a Row<Id::division_by_zero>.
template <Id I>
struct Row {
    static constexpr Id id = I;
    static constexpr int code = code_of(I);
    static constexpr const char* format = format_of(I);
    static constexpr FormatArgs args = format_args(format_of(I));
};

#define KORU_ERROR_ROW(name, code, format, where) inline constexpr Row<Id::name> name{};
KORU_ERRORS(KORU_ERROR_ROW)
#undef KORU_ERROR_ROW

// Checks a raise site's arguments against the row's format.
template <typename R, typename... A>
constexpr void check_args() {
    static_assert(R::args.valid, "the row's format has a conversion the raise routines do not take");
    static_assert(R::args.count == sizeof...(A), "the row's format takes another number of arguments");
    static_assert(args_fit<A...>(R::args), "an argument does not fit the row's format");
    static_assert(sizeof...(A) > 0 || !R::args.has_percent, "a row without arguments has no '%' in its text");
}

// A row chosen at run time (a table of rows, a row passed down to a helper)
// whose format takes arguments of the types A...: only such a row converts
// to it, so the raise still checks what it passes.  Plain is a row whose
// message takes nothing.
template <typename... A>
struct Ref {
    Id id;
    template <Id I>
    consteval Ref(Row<I>) : id(I) {
        static_assert(args_fit<A...>(Row<I>::args), "the row's format does not take these arguments");
        static_assert(sizeof...(A) > 0 || !Row<I>::args.has_percent, "a plain row's text has no '%'");
    }
    constexpr int code() const { return code_of(id); }
    constexpr const char* format() const { return format_of(id); }
};
using Plain = Ref<>;

}  // namespace koru::err
