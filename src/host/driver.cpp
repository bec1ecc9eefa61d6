#include "host/driver.h"

#include <cstdio>
#include <cstring>

#include "db/front/records.h"
#include "host/errors.h"
#include "runtime/symbols.h"

namespace koru {

int driver_main(int argc, char** argv) {
    (void)argv;
    bool cgi = argc <= 1;
    symbols_seed();
    if (cgi) write_record("Content-type: text/plane;charset=UTF-8\n\n");
    try {
        raise_runtime(1800, "実行するJavaScriptのTOP関数が指定されていません");
    } catch (const Unwind& u) {
        write_error_record(u.value);
    }
    std::fclose(stdout);
    return 0;
}

}  // namespace koru
