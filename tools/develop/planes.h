// Float image buffers handed to lumra, and the opcode stages that act on them.
#pragma once

#include "develop/pipeline.h"
#include "dng/opcodes.h"

#include <lumra.h>

#include <cstdint>
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

// Runs the opcodes of list 2 or 3 on a float image (1 or 3 channels).
bool run_float_opcodes(const std::vector<Opcode>& list, FloatImage& image, OpcodeContext& context,
                       std::string& error);

// Handles an opcode the developer cannot run here: a warning when optional,
// else an error. Returns false for an error.
bool refuse_opcode(const Opcode& op, OpcodeContext& context, std::string& error);

std::string status_text(LumraStatus status);

}  // namespace lumra_tools
