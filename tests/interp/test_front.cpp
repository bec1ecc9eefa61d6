#include "fixture.h"

namespace koru::test {
namespace {

struct SendCase {
    const char* script;
    const char* records;
};

void check_sends(const std::vector<SendCase>& cases) {
    for (const SendCase& c : cases) {
        fresh_process();
        Outcome o = run_script(c.script);
        EXPECT_FALSE(o.error) << c.script << "\n  " << o.code << " " << o.message;
        EXPECT_EQ(g_records, c.records) << c.script;
    }
}

TEST_F(InterpTest, SendToFrontRecords) {
    check_sends({
        {"var v = [1, [2], {k: 3}]; sendToFront(v);", "A1118^A500001O2H1118^H50000211kO3A1311vO118^A50000118^H500002"},
        {"var x; sendToFront(x);", "s11x10"},
        {"var v = ''; sendToFront('v');", "s11v10"},
        {"sendToFront('n', 42);", "s11nP42"},
        {"sendToFront('n', -123456789);", "s11nX-123456789"},
        {"sendToFront('f', 0.1 + 0.2);", "s11fd0.3"},
        {"sendToFront('s', 'a-b_c.d');", "s11s17a-b_c.d"},
        {"sendToFront('s', 'a b');", "s11sB5a%20b"},
        {"sendToFront('s', 'あ');", "s11sB9%E3%81%82"},
        {"sendToFront('s', '0123456789');", "s11s2100123456789"},
        {"sendToFront('b', [true, null, NaN, undefined]);", "A1411b14true14null13NaN10"},
        {"sendToFront('h', {});", "H1011h"},
    });
}

TEST_F(InterpTest, SendToFrontCountsRecords) {
    Outcome o = run_script("sendToFront('a', [[1], {x: [2]}]); sendToFront('s', 1); alertToFront('hi');");
    ASSERT_FALSE(o.error) << o.message;
    EXPECT_EQ(g_front.a_records, 3u);
    EXPECT_EQ(g_front.h_records, 1u);
    EXPECT_EQ(g_front.s_records, 2u);
    EXPECT_EQ(g_front.nested_ref, 500003u);
}

TEST_F(InterpTest, AlertRecords) {
    check_sends({
        {"alertToFront(undefined);", "s219XYZBCA_ALERT_ABCZYX10"},
        {"alertToFront('ok');", "s219XYZBCA_ALERT_ABCZYX12ok"},
        {"alertToFront(new Exception('m', 7));", "s219XYZBCA_ALERT_ABCZYXC34Exception:%20CODE=7,%20MESSAGE='m'"},
    });
}

TEST_F(InterpTest, FrontEndErrors) {
    check_errors({
        {"var k = [1]; k[5] = 1; sendToFront(k);", 1330},
        {"function f() {} sendToFront('f', f);", 1335},
        {"sendToFront('e', new Error('x'));", 1335},
        {"function f() {} sendToFront('a', [f]);", 1215},
        {"var k = [1]; k[5] = 1; sendToFront('a', [k]);", 1215},
        {"sendToFront(1, 2);", 1325},
        {"alertToFront(5);", 1340},
    });
}

TEST_F(InterpTest, AFailedContainerLeavesNoPartialRecord) {
    Outcome o = run_script("function f() {} sendToFront('a', [[1], f]);");
    EXPECT_EQ(o.code, 1215);
    // The finished nested record stays; its parent was never written.
    EXPECT_EQ(g_records, "A1118^A500001O1");
}

}  // namespace
}  // namespace koru::test
