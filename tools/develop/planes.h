// Float image buffers handed to lumra, and the opcode stages that act on them.
#pragma once

#include "develop/pipeline.h"
#include "dng/opcodes.h"

#include <lumra.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

struct FloatImage {
    uint32_t height = 0, width = 0, channels = 1;
    std::vector<float> data;
    LumraImage view() {
        return LumraImage{data.data(), height, width, channels, LUMRA_DTYPE_FLOAT32, 0};
    }
};

struct OpcodeContext {
    const DevelopOptions& options;
    DevelopReport& report;
    const char* list_name;  // "OpcodeList2" etc.
};

// Runs the opcodes of list 2 or 3 on a float image (1 or 3 channels).
bool run_float_opcodes(const std::vector<Opcode>& list, FloatImage& image, OpcodeContext& context,
                       std::string& error);

// Handles an opcode the developer cannot run here: a warning when optional,
// else an error. Returns false for an error.
bool refuse_opcode(const Opcode& op, OpcodeContext& context, std::string& error);

std::string status_text(LumraStatus status);

}  // namespace lumra_tools
