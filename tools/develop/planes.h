// Float image buffers handed to lumra, and the opcode stages that act on them.
#pragma once

#include "develop/pipeline.h"
#include "dng/opcodes.h"

#include <lumra.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumra_tools {

// Each stage writes every element of its destination, so the storage is
// left uninitialised rather than cleared in a pass of its own.
struct FloatImage {
    uint32_t height = 0, width = 0, channels = 1;
    std::unique_ptr<float[]> data;

    FloatImage() = default;
    FloatImage(uint32_t h, uint32_t w, uint32_t c)
        : height(h), width(w), channels(c), data(std::make_unique_for_overwrite<float[]>(size())) {}
    size_t size() const { return size_t(height) * width * channels; }
    LumraImage view() { return LumraImage{data.get(), height, width, channels, LUMRA_DTYPE_FLOAT32, 0}; }
};

struct OpcodeContext {
    const DevelopOptions& options;
    DevelopReport& report;
    const char* list_name;  // "OpcodeList2" etc.
    DngFile* dng = nullptr;  // when given, TrimBounds moves its CFA pattern and crop along
};

// A stage's work on rows [top, top + band.height) of a float image of
// full_height rows; the band holds whole rows, packed.
using BandStep = std::function<bool(LumraImage& band, uint32_t top, uint32_t full_height, std::string& error)>;
// A stage's work on the whole image (it may replace the buffer).
using WholeStep = std::function<bool(FloatImage& image, std::string& error)>;
// A stage that makes rows [top, top + band.height) of its result from the
// whole image before it (a resampling).
using FromWholeStep = std::function<bool(const FloatImage& source, LumraImage& band, uint32_t top, std::string& error)>;

// One stage of a development on a float image. Every stage has a whole-image
// form; a stage whose result on a band is the whole-image result there also
// has a band form, or a form that makes a band from the whole image before it.
struct FloatStep {
    std::string name;
    WholeStep whole;
    BandStep band;            // in place on a band
    FromWholeStep from_whole;  // when band is empty: a band from the whole source
};

// Where a band of rows lies in an image of full_height x width.
inline LumraRegion band_region(uint32_t top, uint32_t full_height, uint64_t width) {
    return LumraRegion{top, 0, full_height, width, 0};
}

// The opcodes of list 2 or 3 as steps on a float image of the given channel
// count (1 or 3), in list order. Skipped opcodes give no step; unsupported
// ones a warning or an error (see refuse_opcode). The steps refer to the list.
bool plan_float_opcodes(const std::vector<Opcode>& list, OpcodeContext& context, std::vector<FloatStep>& steps,
                        uint32_t channels, std::string& error);

// Runs the opcodes of list 2 or 3 on a float image (1 or 3 channels).
bool run_float_opcodes(const std::vector<Opcode>& list, FloatImage& image, OpcodeContext& context,
                       std::string& error);

// Handles an opcode the developer cannot run here: a warning when optional,
// else an error. Returns false for an error.
bool refuse_opcode(const Opcode& op, OpcodeContext& context, std::string& error);

std::string status_text(LumraStatus status);

}  // namespace lumra_tools
