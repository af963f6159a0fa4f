// lumra_map_polynomial: any area, plane range, lattice and coefficients.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_in_place<lumra_fuzz::MapPolynomialCall>(data, size);
}
