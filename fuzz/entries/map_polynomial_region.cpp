// lumra_map_polynomial_region: a band or tile against the whole-image call.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_in_place_region<lumra_fuzz::MapPolynomialCall>(data, size);
}
