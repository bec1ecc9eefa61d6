// Random and mutated request bodies: each ends in a result or one of the
// request errors, never a crash (run under the sanitizers in CI).
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "host/modules.h"
#include "host/request.h"
#include "support/fresh.h"

namespace koru {
namespace {

const std::set<std::string> kRequestErrors = {
    "1170", "1175", "1400", "1500", "1505", "1510", "1520", "1525", "1530", "1535", "1540", "1545", "1550",
    "1555", "1560", "1565", "1570", "1575", "1700", "1705", "1710", "1735", "1740", "1745", "1750"};

// Well-formed bodies to mutate.
const char* const kSeeds[] = {
    "S11" "18" "11x" "13abc",
    "I13" "216" "11a" "242" "11b" "3-42" "11c" "2+7",
    "D11" "16" "11d" "132.5",
    "A12" "242" "a" "11" "18^A000001" "O5" "A" "11" "11t" "18^A000001",
    "A11" "221" "I" "12" "11m" "O7" "11x" "11n" "O1",
    "A11" "222" "H" "12" "11h" "11k" "O3" "12kk" "B3%41",
    "M12" "214" "18lib/a.JO" "14b.js" "P14main" "Q13key15token" "l17app.log" "L" "T3123",
    "S11" "219" "11s" "B9%E3%81%82",
};

class FuzzRequest : public testing::Fresh {};

TEST_F(FuzzRequest, RandomAndMutatedBodiesEndInAResultOrAnError) {
    std::mt19937 rng(12345);
    const std::string alphabet = "SIDAMPEQlLTaAhHiI0123456789:;<=BCDNOPQ^%.+-\n";
    int errors = 0, results = 0;
    for (int round = 0; round < 4000; ++round) {
        process_reset();
        g_request.reset();
        std::string body;
        if (round % 4 == 0) {
            size_t n = rng() % 64;
            for (size_t i = 0; i < n; ++i)
                body.push_back(rng() % 3 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() & 0xFF));
        } else {
            body = kSeeds[rng() % std::size(kSeeds)];
            int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits && !body.empty(); ++e) {
                size_t at = rng() % body.size();
                switch (rng() % 4) {
                case 0: body[at] = alphabet[rng() % alphabet.size()]; break;
                case 1: body.erase(at, 1 + rng() % 3); break;
                case 2: body.insert(at, 1, static_cast<char>(rng() & 0xFF)); break;
                default: body.resize(at); break;
                }
            }
        }
        try {
            parse_request_body(body.data(), body.size());
            ++results;
        } catch (const Unwind& u) {
            ++errors;
            ASSERT_EQ(u.value.kind(), Kind::Exception) << body;
            ErrorView e = error_view(u.value);
            std::string code(e.code, e.code_len);
            EXPECT_TRUE(kRequestErrors.count(code)) << "code " << code << " for body " << body;
        }
    }
    // Both outcomes occur, so the generator really exercises the parser.
    EXPECT_GT(errors, 100);
    EXPECT_GT(results, 100);
}

}  // namespace
}  // namespace koru
