// lumra_normalize_raw: black tiles, deltas, white levels and linearisation
// tables of any size and content.
#include "support/entry_harness.h"

#include <algorithm>

using namespace lumra_fuzz;

namespace {

size_t backed(int32_t count) { return count > 0 ? size_t(count) : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t samples = in.count(1, 4);
    Shape shape = draw_shape(in, 8, 40, uint64_t(int64_t(samples)), {LUMRA_DTYPE_UINT16, LUMRA_DTYPE_FLOAT32});
    Shape out = draw_like(in, shape);
    out.dtype = in.dtype({LUMRA_DTYPE_FLOAT32});
    const int32_t repeat_rows = in.count(1, 3), repeat_cols = in.count(1, 3);
    // Levels in sensor units for 16-bit sources, in [0, 1] for floats.
    const float unit = shape.dtype == LUMRA_DTYPE_UINT16 && in.flag() ? 65535.0f : 1.0f;
    std::vector<float> black = in.numbers(std::max<size_t>(backed(repeat_rows) * backed(repeat_cols) * backed(samples), 1));
    for (float& b : black) b *= unit * 0.25f;
    const int32_t white_count = in.count(1, 4);
    std::vector<float> white = in.numbers(std::max<size_t>(backed(white_count), 1));
    for (float& w : white) w *= unit;
    const int32_t delta_h_count = in.flag() ? 0 : in.count(1, 48);
    const int32_t delta_v_count = in.flag() ? 0 : in.count(1, 12);
    const std::vector<float> delta_h = in.numbers(backed(delta_h_count));
    const std::vector<float> delta_v = in.numbers(backed(delta_v_count));
    const float* black_pointer = in.table(black);
    const float* white_pointer = in.table(white);
    const float* delta_h_pointer = in.flag() ? in.table(delta_h) : nullptr;
    const float* delta_v_pointer = in.flag() ? in.table(delta_v) : nullptr;
    const int32_t table_size = in.flag() ? 0 : in.pick<int32_t>({1, 2, 3, 256, 4096, 65535, 65536, 65537});
    std::vector<uint16_t> table(static_cast<size_t>(table_size));
    in.fill(reinterpret_cast<uint8_t*>(table.data()), table.size() * 2);
    Arguments args;
    const int src = args.add(in, shape, true);
    const int dst = args.add(in, out, false);
    check_call(args, [&](Arguments& a, Path) {
        return lumra_normalize_raw(a[src], a[dst], black_pointer, repeat_rows, repeat_cols, samples, white_pointer,
                                   white_count, delta_h_pointer, delta_h_count, delta_v_pointer, delta_v_count,
                                   table_size ? table.data() : nullptr, table_size);
    });
    return 0;
}
