// The bodies of the entry targets of families that have a region form. A
// family's Call decodes every argument but the images in its constructor and
// makes the whole-image and the region call; these templates draw the images,
// run the calls through check_call and, for the region targets, cut a part
// (and a source window) from the whole image and compare.
//
// In-place families (one image, one region) provide:
//   Shape shape(Input&);
//   LumraStatus whole(LumraImage*) const;
//   LumraStatus region(LumraImage*, const LumraRegion*) const;
// Families with a source and a destination provide:
//   Shape source(Input&);  Shape destination(Input&, const Shape& source);
//   LumraStatus whole(const LumraImage* src, LumraImage* dst) const;
//   LumraStatus region(const LumraImage* src, const LumraRegion* src_region, LumraImage* dst,
//                      const LumraRegion* dst_region) const;
//   Placement window(Input&, const Placement& part, uint64_t full_height, uint64_t full_width,
//                    uint64_t channels, Expectation& expect) const;
//       a source window for the part; clears expect.accepted unless it must be accepted
//   static constexpr bool kDestinationHoldsSource;  // the call needs the destination to hold the source
//                                                   // (it writes repaired sites only)
// Any family may also provide
//   void prepare(Input&, Image& source) const;  // adjusts the drawn source's content
// Families whose region form places a source and a destination of the same
// part with one region (normalize_raw) provide source, destination, whole and
//   LumraStatus region(const LumraImage* src, LumraImage* dst, const LumraRegion*) const;
#pragma once

#include "support/region_harness.h"

namespace lumra_fuzz {

// Lets a family adjust the source it was given (plant bad pixels, say).
template <typename Call>
void prepare_source(const Call& call, Input& in, Image& source) {
    if constexpr (requires { call.prepare(in, source); }) call.prepare(in, source);
}

template <typename Call>
int run_in_place(const uint8_t* data, size_t size) {
    Input in(data, size);
    const Call call(in);
    Arguments args;
    const int image = args.add(in, call.shape(in), false);
    check_call(args, [&](Arguments& a, Path) { return call.whole(a[image]); });
    return 0;
}

template <typename Call>
int run_source_destination(const uint8_t* data, size_t size) {
    Input in(data, size);
    const Call call(in);
    Arguments args;
    const Shape shape = call.source(in);
    const int src = args.add(in, shape, true);
    prepare_source(call, in, args.image(src));
    const int dst = args.add(in, call.destination(in, shape), false);
    check_call(args, [&](Arguments& a, Path) { return call.whole(a[src], a[dst]); });
    return 0;
}

// A region pointer: usually the region, now and then null.
inline const LumraRegion* region_pointer(Input& in, const LumraRegion& region, Expectation& expect) {
    if (!in.rare(64)) return &region;
    expect.accepted = false;
    return nullptr;
}

template <typename Call>
int run_in_place_region(const uint8_t* data, size_t size) {
    Input in(data, size);
    const Call call(in);
    Arguments whole;
    const int image = whole.add(in, call.shape(in), false);
    std::unique_ptr<Arguments> whole_result;
    const LumraStatus whole_status =
        check_call(whole, [&](Arguments& a, Path) { return call.whole(a[image]); }, kEveryPath, &whole_result);
    if (!can_cut(whole, image)) return 0;
    const uint64_t height = whole.image(image).desc.height, width = whole.image(image).desc.width;
    const Placement part = draw_part(in, height, width);
    Expectation expect;
    expect.accepted = inside(part, height, width);
    const LumraRegion region = region_of(in, part, height, width, expect);
    const LumraRegion* placed = region_pointer(in, region, expect);
    Arguments parts;
    const int cut = add_cut(parts, whole, image, part, false);
    std::unique_ptr<Arguments> part_result;
    const LumraStatus part_status =
        check_call(parts, [&](Arguments& a, Path) { return call.region(a[cut], placed); }, kEveryPath, &part_result);
    check_region(whole_status, *whole_result, image, part_status, *part_result, cut, part, expect);
    return 0;
}

template <typename Call>
int run_window_region(const uint8_t* data, size_t size) {
    Input in(data, size);
    const Call call(in);
    Arguments whole;
    const Shape shape = call.source(in);
    const int src = whole.add(in, shape, true);
    prepare_source(call, in, whole.image(src));
    const int dst = whole.add(in, call.destination(in, shape), false);
    if constexpr (Call::kDestinationHoldsSource) {
        Image& to = whole.image(dst);
        const Image& from = whole.image(src);
        if (to.bytes == from.bytes && to.bytes) std::memcpy(to.buffer.get(), from.buffer.get(), to.bytes);
    }
    std::unique_ptr<Arguments> whole_result;
    const LumraStatus whole_status = check_call(
        whole, [&](Arguments& a, Path) { return call.whole(a[src], a[dst]); }, kEveryPath, &whole_result);
    if (!can_cut(whole, src) || !can_cut(whole, dst)) return 0;
    const uint64_t height = whole.image(dst).desc.height, width = whole.image(dst).desc.width;
    if (whole.image(src).desc.height != height || whole.image(src).desc.width != width) return 0;
    const Placement part = draw_part(in, height, width);
    Expectation expect;
    expect.accepted = inside(part, height, width);
    const Placement window = call.window(in, part, height, width, whole.image(dst).desc.channels, expect);
    const LumraRegion src_region = region_of(in, window, height, width, expect);
    const LumraRegion dst_region = region_of(in, part, height, width, expect);
    const LumraRegion* src_placed = region_pointer(in, src_region, expect);
    const LumraRegion* dst_placed = region_pointer(in, dst_region, expect);
    Arguments parts;
    const int src_cut = add_cut(parts, whole, src, window, true);
    const int dst_cut = add_cut(parts, whole, dst, part, false);
    std::unique_ptr<Arguments> part_result;
    const LumraStatus part_status = check_call(
        parts, [&](Arguments& a, Path) { return call.region(a[src_cut], src_placed, a[dst_cut], dst_placed); },
        kEveryPath, &part_result);
    check_region(whole_status, *whole_result, dst, part_status, *part_result, dst_cut, part, expect);
    return 0;
}

template <typename Call>
int run_same_part_region(const uint8_t* data, size_t size) {
    Input in(data, size);
    const Call call(in);
    Arguments whole;
    const Shape shape = call.source(in);
    const int src = whole.add(in, shape, true);
    prepare_source(call, in, whole.image(src));
    const int dst = whole.add(in, call.destination(in, shape), false);
    std::unique_ptr<Arguments> whole_result;
    const LumraStatus whole_status = check_call(
        whole, [&](Arguments& a, Path) { return call.whole(a[src], a[dst]); }, kEveryPath, &whole_result);
    if (!can_cut(whole, src) || !can_cut(whole, dst)) return 0;
    const uint64_t height = whole.image(dst).desc.height, width = whole.image(dst).desc.width;
    if (whole.image(src).desc.height != height || whole.image(src).desc.width != width) return 0;
    const Placement part = draw_part(in, height, width);
    Expectation expect;
    expect.accepted = inside(part, height, width);
    const LumraRegion region = region_of(in, part, height, width, expect);
    const LumraRegion* placed = region_pointer(in, region, expect);
    Arguments parts;
    const int src_cut = add_cut(parts, whole, src, part, true);
    const int dst_cut = add_cut(parts, whole, dst, part, false);
    std::unique_ptr<Arguments> part_result;
    const LumraStatus part_status = check_call(
        parts, [&](Arguments& a, Path) { return call.region(a[src_cut], a[dst_cut], placed); }, kEveryPath,
        &part_result);
    check_region(whole_status, *whole_result, dst, part_status, *part_result, dst_cut, part, expect);
    return 0;
}

// The source window of a part for families that read `reach` pixels around
// each one: the smallest window (or a larger one) must be accepted.
inline Placement reach_window(Input& in, const Placement& part, uint64_t reach, uint64_t full_height,
                              uint64_t full_width, Expectation& expect) {
    const Placement window = draw_window(in, part, reach, full_height, full_width);
    expect.accepted = expect.accepted && holds(window, part, reach, full_height, full_width);
    return window;
}

}  // namespace lumra_fuzz
