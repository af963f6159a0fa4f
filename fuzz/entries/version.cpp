// lumra_version: always the same constant text.
#include <lumra.h>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) {
    static const char* const first = lumra_version();
    const char* now = lumra_version();
    if (now != first || std::strcmp(now, "1.0.0") != 0) std::abort();
    return 0;
}
