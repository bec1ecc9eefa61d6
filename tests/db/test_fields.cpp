// Record field encodings and the host's records, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "db/front/records.h"
#include "host/errors.h"
#include "runtime/objects.h"
#include "support/fresh.h"

namespace koru {
namespace {

using testing::expect_raise;

std::string g_out;
void capture(const char* bytes, size_t len) { g_out.append(bytes, len); }

class Fields : public testing::Fresh {
protected:
    void SetUp() override {
        Fresh::SetUp();
        g_out.clear();
        g_hooks.record_sink = capture;
    }
    void TearDown() override {
        g_hooks.record_sink = nullptr;
        Fresh::TearDown();
    }
    static std::string text(std::string_view s) {
        std::string out;
        encode_text_field(out, s);
        return out;
    }
};

TEST_F(Fields, TextFields) {
    struct { std::string in, out; } cases[] = {
        {"abc", "13abc"},
        {"a b", "B5a%20b"},
        {"\xE3\x81\x82", "B9%E3%81%82"},
        {"", "10"},
        {"0123456789", "2100123456789"},
        {"a-b_c.d", "17a-b_c.d"},
        {";,/?:@&=+$-_.*'()#", "218;,/?:@&=+$-_.*'()#"},
        {"!~%\"<>\\^`{|}[]", std::string("C42%21%7E%25%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D")},
        {std::string("\x00\x7F\xFF", 3), "B9%00%7F%FF"},
    };
    for (auto& c : cases) EXPECT_EQ(text(c.in), c.out) << c.in;
    EXPECT_EQ(text(std::string(12, 'x')), "212" + std::string(12, 'x'));
}

TEST_F(Fields, CountsIntegersAndFloats) {
    std::string s;
    encode_count(s, 0);
    encode_count(s, 7);
    encode_count(s, 123456789);
    encode_count(s, 9);
    encode_count(s, 10);
    encode_count(s, 100);
    encode_count(s, UINT32_MAX);
    EXPECT_EQ(s, "1017" "9123456789" "19" "210" "3100" ":4294967295");
    struct { int32_t n; const char* out; } ints[] = {
        {42, "P42"}, {-7, "P-7"}, {0, "O0"}, {-123456789, "X-123456789"}, {INT32_MIN, "Y-2147483648"},
        {9, "O9"}, {10, "P10"}, {-10, "Q-10"}, {INT32_MAX, "X2147483647"}};
    for (auto& c : ints) {
        std::string f;
        encode_int_field(f, c.n);
        EXPECT_EQ(f, c.out);
    }
    struct { double d; const char* out; } floats[] = {{2.5, "d2.5"}, {0.1 + 0.2, "d0.3"}, {1e20, "f1e+20"}, {-0.5, "e-0.5"}};
    for (auto& c : floats) {
        std::string f;
        encode_float_field(f, c.d);
        EXPECT_EQ(f, c.out);
    }
}

TEST_F(Fields, BoundedFieldsRaiseWhenTheyDoNotFit) {
    std::string out;
    encode_text_field_bounded(out, "abc", 3, 16);
    EXPECT_EQ(out, "13abc");
    auto r = expect_raise([] {
        std::string o;
        encode_text_field_bounded(o, "\xE3\x81\x82\xE3\x81\x82", 6, 16);
    });
    EXPECT_EQ(r.code, "1585");
    EXPECT_NE(r.message.find("Encodeバッファーの容量不足"), std::string::npos);
}

TEST_F(Fields, ErrorRecords) {
    Value err = make_error_object(CodeType::Integer, "1800", 4, "no top", 6);
    write_error_record(err);
    EXPECT_EQ(g_out, "S141800B8no%20top");
    g_out.clear();
    write_error_record(make_string("thrown"));
    EXPECT_EQ(g_out, "S1016thrown");
    g_out.clear();
    write_error_record(make_int(3));
    EXPECT_EQ(g_out, "S1010");
}

TEST_F(Fields, ErrorRecordCutsAnOverlongMessageAtACharacter) {
    std::string msg;
    for (int i = 0; i < 2000; ++i) msg += "\xE3\x81\x82";  // 6000 bytes, 18000 escaped
    Value err = make_error_object(CodeType::Integer, "1", 1, msg.data(), msg.size());
    write_error_record(err);
    // 4096 bytes of room hold 455 whole escaped characters (9 bytes each).
    std::string expected_body;
    for (int i = 0; i < 455; ++i) expected_body += "%E3%81%82";
    EXPECT_TRUE(g_out == "S111E4095" + expected_body) << g_out.substr(0, 40) << " (" << g_out.size() << " bytes)";
}

TEST_F(Fields, CompletionTokenAndFatalRecords) {
    g_front.a_records = 2;
    g_front.s_records = 13;
    write_completion_record();
    EXPECT_EQ(g_out, "C12102131" "0");
    g_out.clear();
    write_token_record("key", "a b");
    EXPECT_EQ(g_out, "X13keyB5a%20b");
    g_out.clear();
    write_fatal_record("設定");
    EXPECT_EQ(g_out, "S1485551" "6設定");
    g_out.clear();
    write_journal_failure_record("/var/log/k.log");
    EXPECT_EQ(g_out, "S149999240open&lock of jounal file(/var/log/k.log)");
}

TEST_F(Fields, EvalModeWritesNothing) {
    g_front.eval_mode = true;
    write_record_text("C%d", 1);
    write_completion_record();
    EXPECT_EQ(g_out, "");
}

}  // namespace
}  // namespace koru
