// The writer's side of the raw layouts: one strip or tile of a DngFile's
// samples as stored bytes, in any layout the reader decodes.
#pragma once

#include "dng/dng_file.h"
#include "dng/dng_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

// The block whose top-left sample is (x, y), stored_width x stored_rows
// samples (past the image's edge the edge sample repeats), encoded as the
// options ask. False with a reason when the samples do not fit the options.
bool encode_raw_block(const DngFile& dng, const DngWriteOptions& options, uint32_t x, uint32_t y,
                      uint32_t stored_width, uint32_t stored_rows, std::vector<uint8_t>& out, std::string& error);

}  // namespace lumra_tools
