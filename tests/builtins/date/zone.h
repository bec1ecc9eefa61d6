// Runs a test under a given time zone and puts the previous one back.
#pragma once
#include <cstdlib>
#include <ctime>
#include <string>

namespace koru::test {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (had_) setenv("TZ", saved_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    bool had_ = false;
    std::string saved_;
};

constexpr const char* kTokyo = "Asia/Tokyo";
constexpr const char* kNewYork = "America/New_York";

}  // namespace koru::test
