// The request driver: the order of start-up, the recovery points, the
// records that belong to the host, and the end sequence.
#include "host/driver.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "db/front/records.h"
#include "db/odbc/odbc.h"
#include "compiler/module.h"
#include "compiler/state.h"
#include "host/clock.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/journal.h"
#include "host/loader.h"
#include "host/process.h"
#include "host/modules.h"
#include "host/request.h"
#include "host/token.h"
#include "interp/globals.h"
#include "interp/interp.h"
#include "interp/jumps.h"
#include "runtime/area.h"
#include "runtime/limits.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr size_t kStaticBody = 16384;
constexpr size_t kFirstBodyBuffer = 65536;
constexpr char kHeader[] = "Content-type: text/plane;charset=UTF-8\n\n";
constexpr char kFullWidthColon[] = "\x81\x46";

struct Driver {
    std::string program;        // argv[0]
    std::string program_dir;
    std::string client_text;
    uint32_t client = 0;        // 0: no address known
    bool eval_mode = false;
    bool cgi = false;
    int args = 0;               // arguments after the program path
    std::string top_text;
    std::vector<std::string> var_defs;
    std::vector<std::string> module_args;
    // The reply carries a new token only for a request that passed the
    // token check: until then, whatever ends the request, it is refused.
    bool refused = true;
};

// ---- start-up pieces -------------------------------------------------------------

std::string directory_of(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    return dir.substr(0, 255);
}

std::string trim_blanks(std::string s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

void find_client(Driver& d) {
    const char* fwd = std::getenv("HTTP_X_FORWARDED_FOR");
    std::string text;
    if (fwd && *fwd) {
        text.assign(fwd, strnlen(fwd, 4095));
        size_t comma = text.find(',');
        if (comma != std::string::npos) text = trim_blanks(text.substr(0, comma));
    } else if (const char* remote = std::getenv("REMOTE_ADDR"); remote && *remote) {
        text = remote;
    }
    text = text.substr(0, 79);
    if (text == "::1") text = "127.0.0.1";
    d.client_text = text;
    const char* p = text.c_str();
    uint32_t addr;
    if (!text.empty() && parse_ipv4(p, addr) && *p == '\0') d.client = addr;
}

[[noreturn]] void usage(const Driver& d) {
    std::printf("usage:%s -e function_name js_file_path1 js_file_path2 ... \n", d.program.c_str());
    std::fflush(stdout);
    std::exit(0);
}

void read_arguments(Driver& d, int argc, char** argv) {
    // Under a web server the arguments come from the query string, that is
    // from the client: they never choose the mode.
    if (std::getenv("GATEWAY_INTERFACE")) argc = argc > 0 ? 1 : 0;
    d.args = argc - 1;
    d.cgi = argc <= 1;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-') {
            d.module_args.emplace_back(a);
            continue;
        }
        if (std::strcmp(a, "-e") != 0 || i + 1 >= argc) usage(d);
        const char* top = argv[++i];
        if (std::strlen(top) > 255) {
            std::printf("TOP関数が長すぎます(255Byte以下)");
            std::fflush(stdout);
            std::exit(0);
        }
        d.top_text = top;
        d.eval_mode = true;
    }
}

// The body: the first argument in test mode, standard input in CGI mode.
std::string read_body(const Driver& d, char** argv) {
    if (!d.cgi) return std::string(argv[1], strnlen(argv[1], kStaticBody - 1));
    const char* cl = std::getenv("CONTENT_LENGTH");
    size_t length = 0;
    if (cl && *cl) {
        std::string text(cl, strnlen(cl, 19));
        for (char c : text)
            if (c < '0' || c > '9') fatal_startup(err::fatal_length_not_number);
        unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
        // A length that cannot be held in memory is refused before reading.
        if (n > (1ull << 31)) fatal_startup(err::fatal_length_bad);
        length = static_cast<size_t>(n);
    }
    // The buffer follows the bytes that arrive, not the length announced,
    // and reading goes on for as many pieces as the server sends.
    std::string body;
    size_t got = 0;
    try {
        body.resize(std::min(length, kFirstBodyBuffer));
        while (got < length) {
            if (got == body.size()) body.resize(std::min(length, body.size() * 2));
            ssize_t n = ::read(0, body.data() + got, body.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) fatal_startup(err::fatal_length_bad);
            if (n == 0) break;  // the input ended early: take what came
            got += static_cast<size_t>(n);
        }
    } catch (const std::bad_alloc&) {
        fatal_startup(err::fatal_length_bad);
    }
    body.resize(got);
    return body;
}

// Test mode's variables: "name=value" pieces separated by ";".
void bind_test_variables(const char* list, size_t body_len) {
    size_t room = body_len < 16128 ? 16128 - body_len : 0;
    std::string text(list, strnlen(list, room));
    text += ';';
    size_t start = 0;
    for (size_t semi; (semi = text.find(';', start)) != std::string::npos; start = semi + 1) {
        std::string piece = text.substr(start, semi - start);
        size_t eq = piece.find('=');
        if (eq == std::string::npos) continue;
        std::string name = trim_blanks(piece.substr(0, eq));
        std::string value = trim_blanks(piece.substr(eq + 1));
        global_bind(intern_counted(name.data(), name.size()), make_string(value));
    }
}

// ---- errors at the recovery points ------------------------------------------------

// The S record and the journal text for what reached the driver.
void report_failure(Value carried, bool before_top) {
    write_error_record(carried);
    if (carried.kind() == Kind::Exception) {
        ErrorView e = error_view(carried);
        std::string_view message(e.message, e.message_len);
        if (before_top) {
            journal_append("\n");
            journal_append_escaped(message);
            journal_append("\n");
        } else {
            journal_append("\nERROR: CODE=");
            journal_append_escaped(std::string_view(e.code, e.code_len));
            journal_append(", MESSAGE='");
            journal_append_escaped(message);
            journal_append("'\n");
        }
    } else if (carried.kind() == Kind::String) {
        journal_append("\nERROR: MESSAGE='");
        journal_append_escaped(string_view_of(carried));
        journal_append("'\n");
    } else {
        journal_append("\nERROR: CODE=, MESSAGE=\n");
    }
}

// "-e": what a console shows for an error of the TOP call.
void print_failure(Value carried) {
    std::string out, j;
    if (carried.kind() == Kind::Exception) {
        ErrorView e = error_view(carried);
        out = "ERROR  " + std::string(e.code, e.code_len) + kFullWidthColon + std::string(e.message, e.message_len);
        j = "\n" + std::string(e.message, e.message_len) + "\n";
    } else if (carried.kind() == Kind::String) {
        out = std::string("ERROR") + kFullWidthColon + " " + std::string(string_view_of(carried));
        j = std::string("\nERROR") + kFullWidthColon + " " + std::string(string_view_of(carried)) + "\n";
    } else {
        out = std::string("ERROR") + kFullWidthColon + " ";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    // "-e" is the administrator's console: its journal text stays as it is.
    journal_append(j);
}

void console_print(const char* text, size_t len) {
    std::fwrite(text, 1, len, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// ---- the steps shared by both sequences -------------------------------------------------

void bind_definitions(const Driver& d) {
    for (const std::string& def : d.var_defs) {
        NameValue nv = parse_name_value(def);
        global_bind(nv.symbol, nv.value);
    }
    for (uint32_t n = 0; n <= kNull; ++n) global_bind(n, Value(n));
}

}  // namespace

void run_top_level_statements() {
    // The list may grow while it runs (eval declares functions), so index it.
    for (size_t i = 0; i < g_modules.statements.size(); ++i)
        value_drop_temp(run_statement(g_modules.statements[i]));
}

// The TOP call: parse the text as one call and run it with the TOP-running
// flag set, so that runtime errors reach the script's try statements.
void run_top_call(const std::string& text) {
    Value call = parse_top_call(text, true);
    value_retain(call);
    g_jumps.reset();
    g_errors.top_running = true;
    value_drop_temp(run_statement(call));
}

unsigned enter_main_script() {
    unsigned main_script = module_add("MainScript", ModuleKind::Unstated);
    g_errors.module = static_cast<uint8_t>(main_script);
    g_errors.position = 0;
    g_compiler.module = static_cast<uint8_t>(main_script);  // the TOP call's cells
    g_errors.compile_path = "MainScript";
    return main_script;
}

namespace {

// Once the response is closed a web server may end the process: from
// here on the signals it sends wait until the journal and the roll-backs
// are done, and so does the one a vanished reader would raise.
void hold_ending_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGPIPE);
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

// The end of a CGI or test-mode request.
int end_sequence(const Driver& d) {
    token_reply(d.refused, d.client);
    std::fflush(stdout);
    hold_ending_signals();
    std::fclose(stdout);
    journal_write();
    // What the script did not commit is rolled back.
    odbc_close_all();
    if (g_hooks.debug_end) g_hooks.debug_end();
    return 0;
}

int evaluation_sequence(Driver& d) {
    g_hooks.debug_print = console_print;
    try {
        load_modules();
        enter_run_phase();
        bind_definitions(d);
        run_top_level_statements();
        enter_main_script();
        Value call;
        // An invalid TOP text is only reported on the console.
        g_hooks.debug_print = nullptr;
        try {
            call = parse_top_call(d.top_text);
        } catch (const Unwind&) {
            std::printf("評価する式が不正 '%.100s'", d.top_text.c_str());
            std::fflush(stdout);
            journal_write();
            odbc_close_all();
            return 0;
        }
        g_hooks.debug_print = console_print;
        value_retain(call);
        g_jumps.reset();
        g_errors.top_running = true;
        value_drop_temp(run_statement(call));
    } catch (const Unwind& u) {
        if (g_errors.top_running) print_failure(u.value);
    }
    journal_write();
    odbc_close_all();
    return 0;
}

}  // namespace

int driver_main(int argc, char** argv, void (*wire_debugger)()) {
    // Every write to the standard output is flushed at once (a record, a
    // console line), so a stream buffer would only cost start-up a heap
    // block and the system calls that size it.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Driver d;
    d.program = argc > 0 ? argv[0] : "koru";
    d.program_dir = directory_of(d.program);
    // The program's wiring, then what this request answers for itself.
    install_hooks();
    g_hooks.module_path = module_path;
    g_hooks.load_modules = load_modules;
    g_hooks.journal_name = [](const std::string& name) { journal_replace_file_name(name); };
    if (wire_debugger) wire_debugger();
    find_client(d);
    read_arguments(d, argc, argv);
    g_front.eval_mode = d.eval_mode;
    if (d.eval_mode) {
        for (const std::string& m : d.module_args) module_add(m, ModuleKind::Unstated);
        if (g_modules.size() == 0) {
            std::printf("ロードするJavaScriptのモジュールが指定されていません");
            std::fflush(stdout);
        }
    } else {
        journal_mark_start(clock_seconds());
    }
    config_load(d.program_dir);
    limits_arm(g_config.cpu_limit, g_config.memory_limit);
    symbols_seed();
    // The debugger link, for a client the configuration allows (the "-e"
    // console has none).  A connection that fails clears DEBUG_PORT.
    if (g_hooks.debug_attach && !d.eval_mode && debugger_allowed(d.client)) g_hooks.debug_attach(d.client_text.c_str());
    // The configuration's definitions come first: the client address is
    // bound after them, so no VAR line can stand in for it.
    for (const std::string& v : g_config.vars) d.var_defs.push_back(v);
    if (d.client) {
        char def[64];
        std::snprintf(def, sizeof def, "'client_ip':'%u.%u.%u.%u'", d.client >> 24, (d.client >> 16) & 255,
                      (d.client >> 8) & 255, d.client & 255);
        d.var_defs.push_back(def);
    }
    interp_reset();
    if (d.eval_mode) return evaluation_sequence(d);

    std::string body = read_body(d, argv);
    if (d.cgi) write_record(kHeader);
    try {
        parse_request_body(body.data(), body.size());
        if (g_request.token_given) token_set_parts(g_request.token_key, g_request.token_text);
        if (d.cgi) {
            if (!token_free_top(g_request.top_given ? g_request.top_text : std::string())) token_check(d.client);
        } else if (d.args == 2) {
            bind_test_variables(argv[2], body.size());
        } else {
            token_refuse(1);
        }
        d.refused = false;
        if (!g_request.top_given || g_request.top_text.empty()) {
            d.refused = true;
            raise_runtime(err::no_top_function);
        }
        if (g_modules.size() == 0) {
            d.refused = true;
            raise_runtime(err::no_module);
        }
        load_modules();
        enter_run_phase();
        bind_definitions(d);
        run_top_level_statements();
        enter_main_script();
        run_top_call(g_request.top_text);
        write_completion_record();
    } catch (const Unwind& u) {
        report_failure(u.value, !g_errors.top_running);
    }
    return end_sequence(d);
}

}  // namespace koru
