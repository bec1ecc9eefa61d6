// Zones of one offset.  Most servers run on UTC or on a zone that has kept a
// single offset since before 1970; for those the local calendar is plain
// arithmetic, and the C library's conversions (which re-read the zone on
// every mktime, and stat the system zone file when TZ is unset) can be left
// out.  A zone counts as fixed only when its data, read the way the C
// library reads it, leaves no doubt: no leap seconds, no transition after
// 1970-01-01 00:00:00 UTC, and a rule for later instants (if written) with
// no daylight time and the same offset.  The verdict is then checked against
// the C library at instants spread over the whole range a date can hold.
// Anything else, a zone with daylight saving time included, stays with the
// C library.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/auxv.h>

#include "builtins/date/date.h"

namespace koru {

namespace {

constexpr const char* kDefaultZoneFile = "/etc/localtime";
constexpr const char* kZoneDirectory = "/usr/share/zoneinfo/";
constexpr size_t kZoneFileMax = 1 << 20;

struct ZoneState {
    bool known = false;   // analysed for the TZ below
    bool tz_set = false;  // TZ was in the environment
    std::string tz;
    bool fixed = false;
    long east = 0;
};
ZoneState g_zone;

uint32_t be32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

int64_t be_time(const unsigned char* p, size_t width) {
    if (width == 4) return static_cast<int32_t>(be32(p));
    return static_cast<int64_t>(static_cast<uint64_t>(be32(p)) << 32 | be32(p + 4));
}

struct Header {
    char version;
    uint64_t isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt;
};

constexpr size_t kHeaderSize = 44;

bool read_header(std::string_view data, size_t at, Header* h) {
    if (at > data.size() || data.size() - at < kHeaderSize || data.substr(at, 4) != "TZif") return false;
    auto p = reinterpret_cast<const unsigned char*>(data.data() + at);
    h->version = static_cast<char>(p[4]);
    h->isutcnt = be32(p + 20);
    h->isstdcnt = be32(p + 24);
    h->leapcnt = be32(p + 28);
    h->timecnt = be32(p + 32);
    h->typecnt = be32(p + 36);
    h->charcnt = be32(p + 40);
    return true;
}

// The size of the data after a header, with times `width` bytes wide.
uint64_t block_size(const Header& h, size_t width) {
    return h.timecnt * (width + 1) + h.typecnt * 6 + h.charcnt + h.leapcnt * (width + 4) + h.isstdcnt + h.isutcnt;
}

bool read_zone_file(const std::string& path, std::string* data, bool* missing) {
    *missing = false;
    std::FILE* f = std::fopen(path.c_str(), "rbe");
    if (!f) {
        *missing = errno == ENOENT;
        return false;
    }
    char buf[4096];
    bool ok = true;
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
        data->append(buf, n);
        if (data->size() > kZoneFileMax) {
            ok = false;
            break;
        }
    }
    if (std::ferror(f)) ok = false;
    std::fclose(f);
    return ok;
}

// The local fields the arithmetic gives must be the C library's own.
bool library_agrees(long east) {
    constexpr int kProbes = 64;
    for (int k = 0; k <= kProbes; ++k) {
        // Spread over the range, each probe at another time of year and day.
        int64_t s = static_cast<int64_t>(UINT32_MAX) / kProbes * k + k * (86400LL * 37 + 3607);
        if (s > static_cast<int64_t>(UINT32_MAX)) s = UINT32_MAX;
        std::time_t t = static_cast<std::time_t>(s);
        std::tm lib{};
        if (!localtime_r(&t, &lib)) return false;
        std::tm own = fixed_local_tm(s, east);
        if (lib.tm_gmtoff != east || lib.tm_year != own.tm_year || lib.tm_mon != own.tm_mon ||
            lib.tm_mday != own.tm_mday || lib.tm_hour != own.tm_hour || lib.tm_min != own.tm_min ||
            lib.tm_sec != own.tm_sec || lib.tm_wday != own.tm_wday)
            return false;
        std::tm back = lib;
        back.tm_isdst = -1;
        if (std::mktime(&back) != t) return false;
    }
    return true;
}

bool analyse(const char* tz, long* east) {
    std::string path;
    const char* name = tz;
    if (tz == nullptr) {
        path = kDefaultZoneFile;
    } else {
        if (*name == ':') ++name;
        // An empty name, a zone directory of the environment's choosing, or
        // a program run with raised privileges: left to the C library.
        if (*name == '\0' || std::getenv("TZDIR") != nullptr || getauxval(AT_SECURE) != 0) return false;
        path = *name == '/' ? std::string(name) : std::string(kZoneDirectory) + name;
    }
    std::string data;
    bool missing;
    bool fixed;
    if (read_zone_file(path, &data, &missing)) fixed = tzif_fixed_offset(data, east);
    else fixed = missing && tz != nullptr && posix_zone_fixed_offset(name, east);  // TZ is then a rule
    return fixed && library_agrees(*east);
}

}  // namespace

bool posix_zone_fixed_offset(std::string_view text, long* east) {
    size_t i = 0, n = text.size();
    auto digit = [&](size_t k) { return k < n && text[k] >= '0' && text[k] <= '9'; };
    // The name: three or more letters, or <...> of letters, digits and signs.
    if (n > 0 && text[0] == '<') {
        size_t j = 1;
        while (j < n && ((text[j] >= 'A' && text[j] <= 'Z') || (text[j] >= 'a' && text[j] <= 'z') || digit(j) ||
                         text[j] == '+' || text[j] == '-'))
            ++j;
        if (j >= n || text[j] != '>' || j - 1 < 3) return false;
        i = j + 1;
    } else {
        while (i < n && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) ++i;
        if (i < 3) return false;
    }
    // The offset west of UTC: [+-]hh[:mm[:ss]], and nothing after it (a
    // daylight-time name would follow).
    bool west = true;
    if (i < n && (text[i] == '+' || text[i] == '-')) west = text[i++] == '+';
    auto two = [&](size_t k) { return (text[k] - '0') * 10 + (text[k + 1] - '0'); };
    if (!digit(i)) return false;
    long hh = text[i] - '0';
    ++i;
    if (digit(i)) hh = hh * 10 + (text[i++] - '0');
    long mm = 0, ss = 0;
    if (i < n && text[i] == ':') {
        if (!digit(i + 1) || !digit(i + 2)) return false;
        mm = two(i + 1);
        i += 3;
        if (i < n && text[i] == ':') {
            if (!digit(i + 1) || !digit(i + 2)) return false;
            ss = two(i + 1);
            i += 3;
        }
    }
    if (i != n || hh > 24 || mm > 59 || ss > 59) return false;
    long seconds = hh * 3600 + mm * 60 + ss;
    *east = west ? -seconds : seconds;
    return true;
}

bool tzif_fixed_offset(std::string_view data, long* east) {
    Header h{};
    if (!read_header(data, 0, &h)) return false;
    size_t width = 4;
    size_t at = kHeaderSize;
    if (h.version >= '2') {  // the 64-bit data follows the 32-bit data; only it counts
        uint64_t skip = block_size(h, 4);
        if (skip > data.size() || !read_header(data, kHeaderSize + skip, &h)) return false;
        at = 2 * kHeaderSize + skip;
        width = 8;
    }
    uint64_t size = block_size(h, width);
    if (at > data.size() || size > data.size() - at) return false;
    if (h.leapcnt != 0 || h.typecnt == 0 || h.charcnt == 0) return false;
    if ((h.isstdcnt != 0 && h.isstdcnt != h.typecnt) || (h.isutcnt != 0 && h.isutcnt != h.typecnt)) return false;

    auto p = reinterpret_cast<const unsigned char*>(data.data() + at);
    const unsigned char* times = p;
    const unsigned char* indices = times + h.timecnt * width;
    const unsigned char* types = indices + h.timecnt;
    for (uint64_t i = 0; i < h.timecnt; ++i) {
        if (indices[i] >= h.typecnt) return false;
        if (i > 0 && be_time(times + i * width, width) <= be_time(times + (i - 1) * width, width)) return false;
    }
    for (uint64_t i = 0; i < h.typecnt; ++i)
        if (types[i * 6 + 4] > 1 || types[i * 6 + 5] >= h.charcnt) return false;
    auto utoff = [&](uint64_t type) { return static_cast<long>(static_cast<int32_t>(be32(types + type * 6))); };

    // The rule for instants after the last transition, between newlines.
    std::string_view rule;
    if (width == 8) {
        std::string_view rest = data.substr(at + size);
        if (rest.empty() || rest[0] != '\n') return false;
        size_t end = rest.find('\n', 1);
        if (end == std::string_view::npos) return false;
        rule = rest.substr(1, end - 1);
    }

    long offset;
    if (h.timecnt == 0) {
        // No transitions: the first standard-time type (or the first type).
        uint64_t i = 0;
        while (i < h.typecnt && types[i * 6 + 4] != 0) ++i;
        offset = utoff(i == h.typecnt ? 0 : i);
        long ruled;
        if (!rule.empty() && (!posix_zone_fixed_offset(rule, &ruled) || ruled != offset)) return false;
    } else {
        // Every instant of a date must lie at or after the last transition.
        if (be_time(times + (h.timecnt - 1) * width, width) > 0) return false;
        if (rule.empty()) offset = utoff(indices[h.timecnt - 1]);
        else if (!posix_zone_fixed_offset(rule, &offset)) return false;
    }
    *east = offset;
    return true;
}

bool fixed_zone_offset(long* east) {
    const char* tz = std::getenv("TZ");
    if (!g_zone.known || (tz != nullptr) != g_zone.tz_set || (tz != nullptr && g_zone.tz != tz)) {
        // A zone not seen before: the C library takes it up now too, as its
        // next conversion would.
        tzset();
        g_zone.known = true;
        g_zone.tz_set = tz != nullptr;
        g_zone.tz = tz != nullptr ? tz : "";
        g_zone.east = 0;
        g_zone.fixed = analyse(tz, &g_zone.east);
    }
    *east = g_zone.east;
    return g_zone.fixed;
}

}  // namespace koru
