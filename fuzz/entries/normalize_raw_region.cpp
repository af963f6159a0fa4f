// lumra_normalize_raw_region: a band or tile against the whole-image call.
#include "calls/raw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_same_part_region<lumra_fuzz::NormalizeRawCall>(data, size);
}
