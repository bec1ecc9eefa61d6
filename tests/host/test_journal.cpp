#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>

#include "host_fixture.h"

namespace koru::testing {
namespace {

class Journal : public HostTest {
protected:
    std::string path;
    void SetUp() override {
        HostTest::SetUp();
        path = dir + "/journal.log";
        journal_set_path(path);
    }
    // Holds the exclusive lock on the journal file until released.
    int hold_lock() {
        int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(flock(fd, LOCK_EX), 0);
        return fd;
    }
    std::string failure_record() const {
        std::string msg = "open&lock of jounal file(" + path + ")";
        return "S149999" + std::string(1, static_cast<char>('0' + std::to_string(msg.size()).size())) +
               std::to_string(msg.size()) + msg;
    }
};

const std::regex kEndLine(R"(\n=====  end : \d{4}/\d\d/\d\d \d\d:\d\d:\d\d  ===== \n$)");

TEST_F(Journal, OnlyBannersWhenNothingWasReported) {
    journal_mark_start(0);
    std::string start = journal_start_text();
    EXPECT_TRUE(std::regex_match(start, std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)"))) << start;
    journal_write();
    std::string text = read_file(path);
    EXPECT_EQ(text.rfind("-----  start : " + start + "  -----\n", 0), 0u) << text;
    EXPECT_TRUE(std::regex_search(text, kEndLine)) << text;
    EXPECT_EQ(text.size(), 26 + start.size() + 39);  // two banners, nothing between
    EXPECT_EQ(g_records, "");
}

TEST_F(Journal, EvalModeStartLineHasAnEmptyTime) {
    journal_append("report\n");
    journal_write();
    std::string text = read_file(path);
    EXPECT_EQ(text.rfind("-----  start :   -----\nreport\n\n=====  end : ", 0), 0u) << text;
    EXPECT_EQ(journal_buffer(), "");  // written once, then empty
    journal_write();
    EXPECT_EQ(read_file(path).size(), 2 * text.size() - 7);  // the second block has banners only
}

TEST_F(Journal, LocalTimeText) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(local_time_text(1709670607), "2024/03/05 20:30:07");
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    EXPECT_EQ(local_time_text(1709670607), "2024/03/06 05:30:07");
    unsetenv("TZ");
    tzset();
}

TEST_F(Journal, StartTimeIsMadeOnceAndOnlyWhenAsked) {
    setenv("TZ", "UTC", 1);
    tzset();
    journal_mark_start(1709670607);
    EXPECT_TRUE(g_journal.start_time.empty());  // nothing read at the start
    EXPECT_EQ(journal_start_text(), "2024/03/05 20:30:07");
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    EXPECT_EQ(journal_start_text(), "2024/03/05 20:30:07");  // made once
    journal_mark_start(1709670607);  // a new start is made anew
    EXPECT_EQ(journal_start_text(), "2024/03/06 05:30:07");
    unsetenv("TZ");
    tzset();
}

// A configured ENV setting may change TZ; the start line still shows the
// zone in force when the start was recorded, even when a later date
// operation reloads the zone.
TEST_F(Journal, StartTimeKeepsTheZoneOfTheStartAcrossConfigEnv) {
    setenv("TZ", "UTC", 1);
    tzset();
    journal_mark_start(1709670607);
    config_line("ENV=TZ=Asia/Tokyo");
    EXPECT_STREQ(getenv("TZ"), "Asia/Tokyo");
    tzset();
    EXPECT_EQ(journal_start_text(), "2024/03/05 20:30:07");
    journal_write();
    EXPECT_EQ(read_file(path).rfind("-----  start : 2024/03/05 20:30:07  -----\n", 0), 0u);
    unsetenv("TZ");
    tzset();
}

TEST_F(Journal, StaticAreaLimit) {
    journal_append(std::string(32763, 'a'));
    EXPECT_EQ(g_journal.used, 32763u);
    EXPECT_TRUE(g_journal.chunks.empty());
    journal_append("b");  // 32764 is no longer below the limit
    EXPECT_EQ(g_journal.used, 0u);
    ASSERT_EQ(g_journal.chunks.size(), 1u);
    EXPECT_EQ(g_journal.chunks[0], std::string(32763, 'a') + "b");
    journal_append("", 0);
    journal_append("c");
    EXPECT_EQ(journal_buffer(), std::string(32763, 'a') + "bc");
}

TEST_F(Journal, LargeJournalKeepsTheOrder) {
    std::string all;
    for (int i = 0; i < 400; ++i) {
        std::string piece = std::to_string(i) + ":" + std::string(100, static_cast<char>('a' + i % 26));
        piece.resize(100);
        journal_append(piece);
        all += piece;
    }
    EXPECT_GE(g_journal.chunks.size(), 1u);
    EXPECT_EQ(journal_buffer(), all);
    journal_write();
    std::string text = read_file(path);
    EXPECT_EQ(text.substr(std::string("-----  start :   -----\n").size(), all.size()), all);
    EXPECT_TRUE(std::regex_search(text, kEndLine));
}

TEST_F(Journal, NoPathWritesNothing) {
    g_journal.path.clear();
    journal_append("x");
    journal_write();
    EXPECT_EQ(journal_buffer(), "x");
    EXPECT_EQ(g_records, "");
}

TEST_F(Journal, LockedFileGivesTheFailureRecordAndKeepsTheBuffer) {
    int fd = hold_lock();
    g_journal.attempts = 3;
    g_journal.retry_ms = 10;
    journal_append("kept\n");
    journal_write();
    EXPECT_EQ(g_records, failure_record());
    EXPECT_EQ(read_file(path), "");
    EXPECT_EQ(journal_buffer(), "kept\n");
    close(fd);
    g_records.clear();
    journal_write();
    EXPECT_EQ(g_records, "");
    EXPECT_NE(read_file(path).find("kept\n"), std::string::npos);
}

TEST_F(Journal, UnopenableFileGivesTheFailureRecord) {
    path = dir + "/no/such/dir/journal.log";
    journal_set_path(path);
    g_journal.retry_ms = 1;
    journal_write();
    EXPECT_EQ(g_records, failure_record());
}

// Fifty attempts a tenth of a second apart: about five seconds.
TEST_F(Journal, DefaultRetriesLastAboutFiveSeconds) {
    int fd = hold_lock();
    auto t0 = std::chrono::steady_clock::now();
    journal_write();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    close(fd);
    EXPECT_GE(ms, 4850);
    EXPECT_LT(ms, 20000);  // loose: a loaded machine only adds to the waits
    EXPECT_EQ(g_records, failure_record());
}

// A writer that finds the file locked waits for the holder and then
// appends its block after the holder's text.
TEST_F(Journal, WaitsForAnotherProcess) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        usleep(300000);
        (void)!write(fd, "holder\n", 7);
        _exit(0);  // the lock goes with the process
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    g_journal.retry_ms = 20;
    journal_append("waiting writer\n");
    journal_write();
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(g_records, "");
    std::string text = read_file(path);
    EXPECT_EQ(text.rfind("holder\n-----  start :   -----\nwaiting writer\n", 0), 0u) << text;
    close(ready[0]);
    close(ready[1]);
}

// Concurrent writers each leave one whole block.
TEST_F(Journal, ConcurrentBlocksStayWhole) {
    const int kWriters = 3;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            g_journal.retry_ms = 5;
            g_journal.attempts = 1000;
            for (int i = 0; i < 600; ++i) journal_append(std::string(99, static_cast<char>('A' + w)) + "\n");
            journal_write();
            _exit(g_records.empty() ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Cut the file at the start lines: each piece must be one writer's
    // whole block.
    std::string text = read_file(path);
    const std::string start = "-----  start :   -----\n";
    std::vector<std::string> blocks;
    for (size_t at = 0; at < text.size();) {
        size_t next = text.find(start, at + 1);
        if (next == std::string::npos) next = text.size();
        blocks.push_back(text.substr(at, next - at));
        at = next;
    }
    ASSERT_EQ(blocks.size(), static_cast<size_t>(kWriters));
    std::string seen;
    for (const std::string& b : blocks) {
        ASSERT_EQ(b.rfind(start, 0), 0u);
        char w = b[start.size()];
        seen += w;
        std::string line = std::string(99, w) + "\n";
        std::string body;
        for (int i = 0; i < 600; ++i) body += line;
        EXPECT_EQ(b.substr(start.size(), body.size()), body) << w;
        EXPECT_TRUE(std::regex_match(b.substr(start.size() + body.size()), kEndLine)) << w;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, "ABC");
}

TEST_F(Journal, RequestReplacesTheFileName) {
    const struct {
        const char* configured;
        std::string name;
        std::string result;
    } cases[] = {
        {"/var/log/koru.log", "req.log", "/var/log/req.log"},
        {"/var/log/koru.log", "a-b_c.2.log", "/var/log/a-b_c.2.log"},
        {"koru.log", "req.log", "koru.log"},
        {"", "req.log", ""},
        {"/l/a.log", std::string(248, 'n') + ".log", "/l/" + std::string(248, 'n') + ".log"},
        // A name that could leave the journal directory, or name some other
        // file of it, keeps the configured file.
        {"/var/log/koru.log", "../../etc/x", "/var/log/koru.log"},
        {"/var/log/koru.log", "sub/x.log", "/var/log/koru.log"},
        {"/var/log/koru.log", "..", "/var/log/koru.log"},
        {"/var/log/koru.log", "", "/var/log/koru.log"},
        {"/var/log/koru.log", "db2KORU.config", "/var/log/koru.log"},
        {"/var/log/koru.log", "x.log.js", "/var/log/koru.log"},
        {"/var/log/koru.log", ".hidden.log", "/var/log/koru.log"},
        {"/var/log/koru.log", ".log", "/var/log/koru.log"},
        {"/var/log/koru.log", "a b.log", "/var/log/koru.log"},
        {"/var/log/koru.log", "x.LOG", "/var/log/koru.log"},
        {"/var/log/koru.log", "x.log\n", "/var/log/koru.log"},
        {"/l/a.log", std::string("b.log\0c", 7), "/l/a.log"},
        {"/l/a.log", std::string(300, 'n') + ".log", "/l/a.log"},
        // With no extension configured there is nothing a name could match.
        {"/var/log/", "req.log", "/var/log/"},
        {"/var/log/journal", "req.log", "/var/log/journal"},
    };
    for (const auto& c : cases) {
        journal_set_path(c.configured);
        journal_replace_file_name(c.name);
        EXPECT_EQ(g_journal.path, c.result) << c.configured;
    }
}

// Text that came with a request cannot write lines of its own: every
// control character but the tab is shown as \xHH, and the rest is kept.
TEST_F(Journal, RequestTextIsEscaped) {
    const struct {
        std::string text, written;
    } cases[] = {
        {"plain text\tand tab", "plain text\tand tab"},
        {"a\n=====  end : x  ===== \n-----  start : y  -----\n", "a\\x0A=====  end : x  ===== \\x0A-----  start : y  -----\\x0A"},
        {std::string("nul\0cr\r\x7f", 8), "nul\\x00cr\\x0D\\x7F"},
        {"日本語のまま", "日本語のまま"},
    };
    for (const auto& c : cases) {
        journal_reset();
        journal_append_escaped(c.text);
        EXPECT_EQ(journal_buffer(), c.written);
    }
}


}  // namespace
}  // namespace koru::testing
