// parse_opcode_list on any bytes; a parsed list survives writing and reading
// back unchanged, and runs (or is refused) on a small mosaic and RGB image.
#include "develop/planes.h"
#include "dng/opcodes.h"
#include "support/entry_harness.h"

using namespace lumra_fuzz;
using namespace lumra_tools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const uint32_t height = in.in_range<uint32_t>(1, 24), width = in.in_range<uint32_t>(1, 40);
    const bool skip_some = in.rare(8);
    const std::vector<uint8_t> bytes = in.rest();
    std::vector<Opcode> list;
    std::string error;
    if (!parse_opcode_list(bytes, list, error)) {
        if (error.empty()) fail("parse_opcode_list failed without a reason");
        return 0;
    }
    const std::vector<uint8_t> written = serialize_opcode_list(list);
    std::vector<Opcode> again;
    if (!parse_opcode_list(written, again, error)) fail("a written list does not read back: %s", error.c_str());
    if (serialize_opcode_list(again) != written) fail("a written list reads back different");

    DevelopOptions options;
    if (skip_some) options.skip = {"warp", "gain-map"};
    DevelopReport report;
    for (uint32_t channels : {1u, 3u}) {
        FloatImage image(height, width, channels);
        for (size_t i = 0; i < image.size(); ++i) image.data[i] = float((i * 7919) % 1000) / 999.0f;
        OpcodeContext context{options, report, "OpcodeList3"};
        std::string run_error;
        if (!run_float_opcodes(list, image, context, run_error) && run_error.empty())
            fail("an opcode list failed without a reason");
    }
    return 0;
}
