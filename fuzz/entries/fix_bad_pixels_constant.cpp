// lumra_fix_bad_pixels_constant, into another buffer or in place, with bad
// sites anywhere (edges, corners, clusters).
#include "calls/raw.h"

using namespace lumra_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const FixBadPixelsCall call(in);
    const bool in_place = in.flag();
    const Shape shape = call.source(in);
    Arguments args;
    const int src = args.add(in, shape, !in_place);
    call.prepare(in, args.image(src));
    const int dst = in_place ? args.add_alias(src, false) : args.add(in, call.destination(in, shape), false);
    check_call(args, [&](Arguments& a, Path) { return call.whole(a[src], a[dst]); });
    return 0;
}
