#include <sys/stat.h>

#include <cstdlib>

#include "host/checksum.h"
#include "host_fixture.h"

namespace koru::testing {
namespace {

class ConfigFile : public HostTest {
protected:
    // Writes KORU.config with the text and reads it.
    void load(const std::string& text) {
        write_file("KORU.config", text);
        config_load(dir + "/");
    }
    std::string load_fatal(const std::string& text) {
        return fatal_message([&] { load(text); });
    }
};

TEST(Ipv4, AddressParserTable) {
    const struct {
        const char* text;
        bool ok;
        uint32_t addr;
        size_t consumed;
    } cases[] = {
        {"1.2.3.4", true, 0x01020304, 7},
        {"10.1.2.3,x", true, 0x0A010203, 8},
        {"255.255.255.255", true, 0xFFFFFFFF, 15},
        {"0.0.0.0", true, 0, 7},  // every number from 0 on is taken
        {"192.168.0.1", true, 0xC0A80001, 11},
        {"010.002.3.4", true, 0x0A020304, 11},
        {"1.2.3.4.5", true, 0x01020304, 7},
        {"256.1.1.1", false, 0, 0},
        {"1.2.3.999", false, 0, 0},
        {"1.2.3", false, 0, 0},
        {"1..3.4", false, 0, 0},
        {"1.2.3.", false, 0, 0},
        {"1.2.3.-4", false, 0, 0},
        {"1,2,3,4", false, 0, 0},
        {"", false, 0, 0},
        {".1.2.3", false, 0, 0},
        {"99999999999999999999999.1.1.1", false, 0, 0},
    };
    for (const auto& c : cases) {
        const char* p = c.text;
        uint32_t addr = 0xDEADBEEF;
        EXPECT_EQ(parse_ipv4(p, addr), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(addr, c.addr) << c.text;
            EXPECT_EQ(static_cast<size_t>(p - c.text), c.consumed) << c.text;
        } else {
            EXPECT_EQ(p, c.text) << "the cursor stays on failure: " << c.text;
        }
    }
}

TEST(ConfigValue, PreparationTable) {
    const struct {
        const char* raw;
        bool ok;
        const char* value;
    } cases[] = {
        {"  plain  ", true, "plain"},
        {"C:/app/js # comment", true, "C:/app/js"},
        {"a;b#c;d", true, "a"},
        {"x # one ; two # three", true, "x"},
        {"'a;b.log'", true, "a;b.log"},
        {"\"a;b.log\" ; trailing", true, "a;b.log"},
        {"\"a\\\"b\"", true, "a\\\"b"},      // odd backslashes: the quote is text
        {"\"a\\\\\"b\"", true, "a\\\\"},     // even backslashes: the quote closes
        {"'it\"s'", true, "it\"s"},          // only the same quote closes
        {"''", true, ""},
        {"\"open", false, ""},
        {"'a\\'", false, ""},
        {"", true, ""},
        {"#only", true, ""},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(config_prepare_value(c.raw, out), c.ok) << c.raw;
        if (c.ok) {
            EXPECT_EQ(out, c.value) << c.raw;
        }
    }
}

TEST(ConfigValue, CommentCuttingStopsAfterAHundredCuts) {
    std::string out;
    ASSERT_TRUE(config_prepare_value("x" + std::string(101, ';'), out));
    EXPECT_EQ(out, "x;");
    ASSERT_TRUE(config_prepare_value("x" + std::string(100, ';'), out));
    EXPECT_EQ(out, "x");
}

TEST_F(ConfigFile, DefaultsAndKeysInAnyCase) {
    load("");
    EXPECT_EQ(g_config.debug_port, "8777");
    EXPECT_EQ(g_config.time_interval, 0);
    EXPECT_FALSE(g_config.has_client_list);

    g_config.reset();
    load("module_dir=C:/app/js # where the scripts are\n"
         "  Token_Key = 'k;1'  \n"
         "logFILE=/var/log/koru/journal.log\r\n"
         "debug_port=\n"
         "time_interval= 30 ; seconds\n");
    EXPECT_EQ(g_config.module_dir, "C:/app/js");  // "/" is kept
    EXPECT_EQ(g_config.token_key, "k;1");
    EXPECT_EQ(g_config.logfile, "/var/log/koru/journal.log");
    EXPECT_EQ(g_journal.path, "/var/log/koru/journal.log");
    EXPECT_EQ(g_config.debug_port, "");
    EXPECT_EQ(g_config.time_interval, 30);
    EXPECT_EQ(g_config.path, dir + "/KORU.config");
}

TEST_F(ConfigFile, IgnoredLines) {
    load("# TOKEN_KEY=a\n"
         "; TOKEN_KEY=b\n"
         "   # LOGFILE=c\n"
         "=TOKEN_KEY\n"
         "TOKEN_KEY\n"
         "UNKNOWN=1\n"
         "\n");
    EXPECT_EQ(g_config.token_key, "");
    EXPECT_EQ(g_config.logfile, "");
    EXPECT_TRUE(g_config.vars.empty());
}

TEST_F(ConfigFile, VerbatimKeys) {
    load("VAR= 'a':1 # not a comment\n"
         "var='b':'x;y'\n"
         "INCLUDE= lib/a.js\n"
         "include=b.jo ; c\n");
    ASSERT_EQ(g_config.vars.size(), 2u);
    EXPECT_EQ(g_config.vars[0], " 'a':1 # not a comment");
    EXPECT_EQ(g_config.vars[1], "'b':'x;y'");
    ASSERT_EQ(g_modules.size(), 2u);
    EXPECT_EQ(g_modules.entries[0].path, " lib/a.js");
    EXPECT_EQ(g_modules.entries[1].path, "b.jo ; c");
    EXPECT_EQ(g_modules.entries[1].kind, ModuleKind::Unstated);
}

TEST_F(ConfigFile, IncludeStopsAt127Modules) {
    for (int i = 0; i < 126; ++i) module_add("m.js", ModuleKind::Source);
    load("INCLUDE=last.js\n");
    EXPECT_EQ(g_modules.size(), 127u);
    EXPECT_EQ(load_fatal("INCLUDE=one.too.many.js\n"),
              "モジュール(.js、.jo)が多すぎます。125ファイル以下にしてください。");
    EXPECT_EQ(g_modules.size(), 127u);
}

TEST_F(ConfigFile, ClientLists) {
    load("CLIENT=10.0.0.1, 192.168.1.20\n"
         "client=addr 172.16.0.0;127.0.0.1\n");
    EXPECT_TRUE(g_config.has_client_list);
    EXPECT_EQ(g_config.clients, (std::vector<uint32_t>{0x0A000001, 0xC0A80114, 0xAC100000, 0x7F000001}));

    g_config.reset();
    load("CLIENT=none\n");  // no address: the list exists and is empty
    EXPECT_TRUE(g_config.has_client_list);
    EXPECT_TRUE(g_config.clients.empty());

    const char* bad[] = {"CLIENT=1.2.256.4\n", "CLIENT=10.0.0\n", "CLIENT=1.2.3.4, 5\n", "CLIENT=1..2.3\n"};
    for (const char* text : bad) {
        g_config.reset();
        EXPECT_EQ(load_fatal(text), "ClientのIPアドレス定義\xE3\x80\x80不正") << text;
    }
}

// Without a CLIENT list the debugging build connects only for loopback
// addresses: the client address may come from a header the client wrote.
TEST_F(ConfigFile, DebuggerClients) {
    const uint32_t loopback = 0x7F000001, other = 0x0A010203;
    EXPECT_TRUE(debugger_allowed(loopback));
    EXPECT_TRUE(debugger_allowed(0x7F0000FE));
    EXPECT_FALSE(debugger_allowed(other));
    EXPECT_FALSE(debugger_allowed(0));
    load("CLIENT=10.1.2.3\n");
    EXPECT_TRUE(debugger_allowed(other));
    EXPECT_FALSE(debugger_allowed(loopback));
    g_config.reset();
    load("DEBUG_PORT=\n");
    EXPECT_FALSE(debugger_allowed(loopback));
}

TEST_F(ConfigFile, SealedTokenKeys) {
    load("TOKEN_SECRET=' secret; with # signs '\nTOKEN_FREE= login ,landing,, \n");
    EXPECT_EQ(g_config.token_secret, " secret; with # signs ");
    EXPECT_EQ(g_config.token_free, (std::vector<std::string>{"login", "landing"}));
}

TEST_F(ConfigFile, PinnedModuleDirectoryNeedsADirectory) {
    EXPECT_EQ(load_fatal("MODULE_DIR=>>>0\n"), "Configのフォーマット不正");
    EXPECT_EQ(load_fatal("MODULE_DIR=  >>>e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n"),
              "Configのフォーマット不正");
}

TEST_F(ConfigFile, TimeInterval) {
    const struct {
        const char* line;
        int32_t value;
    } good[] = {{"TIME_INTERVAL=\n", 0},      {"TIME_INTERVAL=-5\n", -5},
                {"TIME_INTERVAL=+7 #c\n", 7}, {"TIME_INTERVAL='12'\n", 12},
                {"TIME_INTERVAL=99999999999\n", INT32_MAX}};
    for (const auto& c : good) {
        g_config.reset();
        load(c.line);
        EXPECT_EQ(g_config.time_interval, c.value) << c.line;
    }
    const char* bad[] = {"TIME_INTERVAL=30s\n", "TIME_INTERVAL=-\n", "TIME_INTERVAL=0x10\n", "TIME_INTERVAL=1 2\n"};
    for (const char* line : bad)
        EXPECT_EQ(load_fatal(line), "configファイルのTIME_INTERVALは整数を設定してください。") << line;
}

TEST_F(ConfigFile, RequestLimits) {
    load("");
    EXPECT_EQ(g_config.cpu_limit, 0u);  // no line: no limit
    EXPECT_EQ(g_config.memory_limit, 0u);
    const struct {
        const char* text;
        uint32_t cpu, memory;
    } good[] = {
        {"CPU_LIMIT=5\nMEMORY_LIMIT=64\n", 5, 64},
        {"cpu_limit = 30 # seconds\nmemory_limit='256'\n", 30, 256},
        {"CPU_LIMIT=\nMEMORY_LIMIT=\n", 0, 0},
        {"CPU_LIMIT=007\n", 7, 0},
        {"CPU_LIMIT=99999999999\nMEMORY_LIMIT=4294967296\n", UINT32_MAX, UINT32_MAX},  // held at the top
        {"CPU_LIMIT=3\nCPU_LIMIT=4\n", 4, 0},  // the last line counts
    };
    for (const auto& c : good) {
        g_config.reset();
        load(c.text);
        EXPECT_EQ(g_config.cpu_limit, c.cpu) << c.text;
        EXPECT_EQ(g_config.memory_limit, c.memory) << c.text;
    }
    // Anything but digits is fatal: a limit misread as none would let a
    // runaway hold the process.
    const char* bad[] = {"1s", "-1", "+5", "0x10", "1 2", "1.5", "ten"};
    for (const char* v : bad) {
        g_config.reset();
        EXPECT_EQ(load_fatal(std::string("CPU_LIMIT=") + v + "\n"), "configファイルのCPU_LIMITは整数を設定してください。") << v;
        g_config.reset();
        EXPECT_EQ(load_fatal(std::string("MEMORY_LIMIT=") + v + "\n"),
                  "configファイルのMEMORY_LIMITは整数を設定してください。")
            << v;
    }
}

TEST_F(ConfigFile, UnclosedQuoteIsFatal) {
    EXPECT_EQ(load_fatal("LOGFILE=\"/tmp/x.log\n"), "Configのフォーマット不正");
}

TEST_F(ConfigFile, StoredLengthsAreBounded) {
    load("TOKEN_KEY=" + std::string(70, 'k') + "\nDEBUG_PORT=" + std::string(30, '9') + "\nMODULE_DIR=" +
         std::string(600, 'd') + "\nLOGFILE=" + std::string(300, 'l') + "\n");
    EXPECT_EQ(g_config.token_key, std::string(64, 'k'));
    EXPECT_EQ(g_config.debug_port, std::string(19, '9'));
    EXPECT_EQ(g_config.module_dir, std::string(511, 'd'));
    EXPECT_EQ(g_journal.path, std::string(255, 'l'));
}

// A line longer than the 4096-byte buffer is read as several lines.
TEST_F(ConfigFile, LongLinesAreReadInPieces) {
    std::string first = "VAR=" + std::string(4091, 'a');  // 4095 bytes: one piece
    load(first + "TOKEN_KEY=tail\n");
    ASSERT_EQ(g_config.vars.size(), 1u);
    EXPECT_EQ(g_config.vars[0], std::string(4091, 'a'));
    EXPECT_EQ(g_config.token_key, "tail");
}

// Pieces are cut at 4095 bytes across reads of the file, a line end right
// after a full piece makes an empty line, and the last line needs no end.
TEST_F(ConfigFile, PiecesAcrossLongFiles) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "VAR=v" + std::to_string(i) + "\n";
    text += "VAR=" + std::string(4091, 'b') + "\n";      // a full piece, then an empty line
    text += "VAR=" + std::string(5000, 'c') + "=d\r\n";  // 4095 bytes, then "ccc...=d"
    text += "TOKEN_KEY=last";
    load(text);
    ASSERT_EQ(g_config.vars.size(), 302u);
    EXPECT_EQ(g_config.vars[0], "v0");
    EXPECT_EQ(g_config.vars[299], "v299");
    EXPECT_EQ(g_config.vars[300], std::string(4091, 'b'));
    EXPECT_EQ(g_config.vars[301], std::string(4091, 'c'));
    EXPECT_EQ(g_config.token_key, "last");
}

// A NUL byte ends the text of its line; the next line is read as usual.
TEST_F(ConfigFile, NulEndsTheLine) {
    load(std::string("TOKEN_KEY=ab\0cd\nDEBUG_PORT=12\n", 30));
    EXPECT_EQ(g_config.token_key, "ab");
    EXPECT_EQ(g_config.debug_port, "12");
}

TEST_F(ConfigFile, Environment) {
    setenv("KORU_T_PATH", "C:\\bin ", 1);
    unsetenv("KORU_T_NEW");
    setenv("KORU_T_GONE", "x", 1);
    load("ENV=KORU_T_PATH+= C:\\odbc\n"
         "ENV=KORU_T_NEW+=  first  \n"
         "ENV=KORU_T_SET=a=b # comment\n"
         "ENV=KORU_T_GONE=\n"
         "ENV=KORU_T_PATH +=ignored\n");
    EXPECT_STREQ(getenv("KORU_T_PATH"), "C:\\bin;C:\\odbc");
    EXPECT_STREQ(getenv("KORU_T_NEW"), "first");
    EXPECT_STREQ(getenv("KORU_T_SET"), "a=b");
    EXPECT_EQ(getenv("KORU_T_GONE"), nullptr);
    EXPECT_STREQ(getenv("KORU_T_PATH "), "ignored");  // the blank is part of the name
    for (const char* n : {"KORU_T_PATH", "KORU_T_NEW", "KORU_T_SET", "KORU_T_PATH "}) unsetenv(n);
}

TEST_F(ConfigFile, FileChoice) {
    EXPECT_EQ(fatal_message([&] { config_load(dir + "/"); }),
              "koru設定ファイル(" + dir + "/db2KORU.config, " + dir + "/KORU.config)が開けません");
    write_file("KORU.config", "TOKEN_KEY=plain\n");
    write_file("db2KORU.config", "TOKEN_KEY=db2\n");
    config_load(dir + "/");
    EXPECT_EQ(g_config.token_key, "db2");
    EXPECT_EQ(g_config.path, dir + "/db2KORU.config");
}

TEST_F(ConfigFile, UnreadableFileIsFatal) {
    ASSERT_EQ(mkdir((dir + "/KORU.config").c_str(), 0755), 0);
    EXPECT_EQ(fatal_message([&] { config_load(dir + "/"); }), "koru設定ファイル(" + dir + "/KORU.config)が開けません");
}

TEST_F(ConfigFile, ModuleDirectoryChecksum) {
    std::string js = dir + "/js";
    write_file("js/a.js", "var a;");
    std::string sum = directory_checksum(js);
    load("MODULE_DIR=" + js + ">>>" + sum + "  # pinned\n");
    EXPECT_EQ(g_config.module_dir, js);

    write_file("js/b.js", "var b;");
    g_config.reset();
    EXPECT_EQ(load_fatal("MODULE_DIR=" + js + ">>>" + sum + "\n"), "JSモジュールのディレクトリの内容が変わっています。");
    EXPECT_EQ(g_config.module_dir, "");
}

}  // namespace
}  // namespace koru::testing
