// lumra_bilinear_demosaic: any 2 x 2 pattern, colours valid or not.
#include "calls/raw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_source_destination<lumra_fuzz::DemosaicCall<false>>(data, size);
}
