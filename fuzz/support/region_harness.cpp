#include "support/region_harness.h"

#include <algorithm>

namespace lumra_fuzz {

Placement draw_part(Input& in, uint64_t full_height, uint64_t full_width) {
    Placement p;
    switch (in.in_range(0, 7)) {
        case 0:  // a band of whole rows
            p.top = in.in_range<uint64_t>(0, full_height);
            p.height = in.in_range<uint64_t>(0, full_height - p.top);
            p.width = full_width;
            break;
        case 1:  // the whole image
            p.height = full_height;
            p.width = full_width;
            break;
        default:  // a tile
            p.top = in.in_range<uint64_t>(0, full_height);
            p.left = in.in_range<uint64_t>(0, full_width);
            p.height = in.in_range<uint64_t>(0, full_height - p.top);
            p.width = in.in_range<uint64_t>(0, full_width - p.left);
            break;
    }
    if (in.rare(24)) {
        // Reaching past an edge, or placed with sums that overflow.
        if (in.flag()) p.height += in.pick<uint64_t>({1, 2});
        else p.width += 1;
        if (in.rare(4)) p.top = ~uint64_t(0) - in.in_range<uint64_t>(0, 2);
    }
    return p;
}

Placement draw_window(Input& in, const Placement& part, uint64_t reach, uint64_t full_height,
                      uint64_t full_width) {
    const auto before = [](uint64_t start, uint64_t by) { return start > by ? start - by : 0; };
    const auto after = [](uint64_t end, uint64_t by, uint64_t full) {
        return end < full && full - end > by ? end + by : full;
    };
    uint64_t top = before(part.top, reach), left = before(part.left, reach);
    uint64_t bottom = after(part.top + part.height, reach, full_height);
    uint64_t right = after(part.left + part.width, reach, full_width);
    if (in.flag()) {  // larger, up to the whole image
        top = in.in_range<uint64_t>(0, top);
        left = in.in_range<uint64_t>(0, left);
        bottom = in.in_range<uint64_t>(bottom, std::max(bottom, full_height));
        right = in.in_range<uint64_t>(right, std::max(right, full_width));
    }
    if (in.rare(16)) {  // one pixel short on a side (or past the whole image)
        switch (in.in_range(0, 3)) {
            case 0: top += 1; break;
            case 1: left += 1; break;
            case 2: bottom = bottom ? bottom - 1 : bottom + 1; break;
            default: right += 1; break;
        }
    }
    Placement window;
    window.top = top;
    window.left = left;
    window.height = bottom > top ? bottom - top : 0;
    window.width = right > left ? right - left : 0;
    return window;
}

bool inside(const Placement& p, uint64_t full_height, uint64_t full_width) {
    return p.top <= full_height && p.height <= full_height - p.top && p.left <= full_width &&
           p.width <= full_width - p.left;
}

bool holds(const Placement& window, const Placement& part, uint64_t reach, uint64_t full_height,
           uint64_t full_width) {
    const uint64_t top = part.top > reach ? part.top - reach : 0;
    const uint64_t left = part.left > reach ? part.left - reach : 0;
    const uint64_t bottom = std::min(part.top + part.height + reach, full_height);
    const uint64_t right = std::min(part.left + part.width + reach, full_width);
    return inside(window, full_height, full_width) && window.top <= top && window.left <= left &&
           window.top + window.height >= bottom && window.left + window.width >= right;
}

LumraRegion region_of(Input& in, const Placement& part, uint64_t full_height, uint64_t full_width,
                      Expectation& expect) {
    LumraRegion region{part.top, part.left, full_height, full_width, 0};
    if (in.rare(32)) {
        region.reserved = 1;
        expect.accepted = false;
    }
    if (in.rare(32)) {
        region.full_height += in.flag() ? 1 : ~uint64_t(0);
        expect.accepted = false;
        expect.comparable = false;
    }
    return region;
}

bool can_cut(const Arguments& whole, int index) {
    const Image& image = whole.image(index);
    const LumraImage& d = image.desc;
    return !image.null_descriptor && !image.null_data && d.height <= 4096 && d.width <= 4096 &&
           d.channels <= 4096 && d.height * d.width * d.channels * element_size(d.dtype) == image.bytes;
}

int add_cut(Arguments& part, const Arguments& whole, int index, const Placement& p, bool read_only) {
    const Image& from = whole.image(index);
    // A part reaching outside the whole image keeps its size, with made-up content.
    const bool within = inside(p, from.desc.height, from.desc.width);
    const uint64_t height = p.height, width = p.width;
    Input none(nullptr, 0);  // no draws: a plain image
    const int cut = part.add(none, height, width, from.desc.channels, from.desc.dtype, read_only);
    Image& to = part.image(cut);
    to.desc.reserved = from.desc.reserved;
    const size_t row = size_t(width * from.desc.channels * element_size(from.desc.dtype));
    const size_t whole_row = size_t(from.desc.width * from.desc.channels * element_size(from.desc.dtype));
    const size_t offset = size_t(p.left * from.desc.channels * element_size(from.desc.dtype));
    for (uint64_t r = 0; within && r < height && row; ++r)
        std::memcpy(to.buffer.get() + r * row, from.buffer.get() + (p.top + r) * whole_row + offset, row);
    return cut;
}

void check_region(LumraStatus whole_status, const Arguments& whole_result, int whole_index,
                  LumraStatus part_status, const Arguments& part_result, int part_index, const Placement& p,
                  const Expectation& expect) {
    if (whole_status == LUMRA_OK && expect.accepted && part_status != LUMRA_OK)
        fail("a region call refuses (%d) a valid part %llu+%llu x %llu+%llu of an image the whole call takes",
             int(part_status), (unsigned long long)p.top, (unsigned long long)p.height,
             (unsigned long long)p.left, (unsigned long long)p.width);
    if (whole_status != LUMRA_OK || part_status != LUMRA_OK || !expect.comparable) return;
    Arguments expected;
    const int cut = add_cut(expected, whole_result, whole_index, p, false);
    const Image& want = expected.image(cut);
    const Image& got = part_result.image(part_index);
    if (want.bytes != got.bytes) fail("a region call's part has %zu bytes, not %zu", got.bytes, want.bytes);
    const size_t at = first_difference(want, got);
    if (at != want.bytes) {
        const uint64_t element = at / element_size(want.desc.dtype);
        const uint64_t pixel = element / std::max<uint64_t>(want.desc.channels, 1);
        if (want.desc.dtype == LUMRA_DTYPE_FLOAT32) {
            float x, y;
            std::memcpy(&x, want.buffer.get() + element * 4, 4);
            std::memcpy(&y, got.buffer.get() + element * 4, 4);
            std::fprintf(stderr, "whole image's result %.9g, part's %.9g\n", double(x), double(y));
        } else if (want.desc.dtype == LUMRA_DTYPE_UINT16) {
            uint16_t x, y;
            std::memcpy(&x, want.buffer.get() + element * 2, 2);
            std::memcpy(&y, got.buffer.get() + element * 2, 2);
            std::fprintf(stderr, "whole image's result %u, part's %u\n", unsigned(x), unsigned(y));
        }
        fail("part %llu+%llu x %llu+%llu differs from the whole image's result at part pixel (%llu, %llu)",
             (unsigned long long)p.top, (unsigned long long)p.height, (unsigned long long)p.left,
             (unsigned long long)p.width, (unsigned long long)(pixel / std::max<uint64_t>(p.width, 1)),
             (unsigned long long)(pixel % std::max<uint64_t>(p.width, 1)));
    }
}

}  // namespace lumra_fuzz
