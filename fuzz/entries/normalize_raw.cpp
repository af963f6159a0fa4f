// lumra_normalize_raw: black tiles, deltas, white levels and linearisation tables of any size and content.
#include "calls/raw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_source_destination<lumra_fuzz::NormalizeRawCall>(data, size);
}
