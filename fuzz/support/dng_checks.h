// What a successful read promises the developer: sizes and tables that agree
// with each other, so the stages can index them without further checks.
#pragma once

#include "dng/dng_file.h"
#include "support/entry_harness.h"

namespace lumra_fuzz {

inline void check_read_dng(const lumra_tools::DngFile& dng) {
    const uint64_t samples = uint64_t(dng.width) * dng.height * dng.samples;
    // 16-bit samples, or floats when the file stores floating-point data.
    const size_t held = dng.raw.empty() ? dng.raw_float.size() : dng.raw.size();
    if (dng.width == 0 || dng.height == 0 || (dng.samples != 1 && dng.samples != 3) || held != samples ||
        (!dng.raw.empty() && !dng.raw_float.empty()))
        fail("read_dng accepted %u x %u x %u with %zu + %zu samples", dng.width, dng.height, dng.samples,
             dng.raw.size(), dng.raw_float.size());
    if (dng.samples == 1)
        for (int colour : dng.cfa)
            if (colour < 0 || colour > 2) fail("read_dng accepted CFA colour %d", colour);
    if (dng.black_repeat_rows == 0 || dng.black_repeat_cols == 0 ||
        dng.black_levels.size() != uint64_t(dng.black_repeat_rows) * dng.black_repeat_cols * dng.samples)
        fail("read_dng accepted a black tile %u x %u with %zu levels", dng.black_repeat_rows, dng.black_repeat_cols,
             dng.black_levels.size());
    if (dng.white_levels.empty()) fail("read_dng accepted no white level");
}

}  // namespace lumra_fuzz
