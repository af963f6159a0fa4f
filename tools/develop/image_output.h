#pragma once

#include "develop/pipeline.h"

#include <string>

namespace lumra_tools {

enum class FileFormat { png, tiff };

// Writes the image under a temporary name beside path and renames it into
// place only when complete; on failure nothing is left behind. A PNG is
// encoded on `threads` threads (0: one per core).
bool write_image(const std::string& path, FileFormat format, const DevelopedImage& image, std::string& error,
                 unsigned threads = 0);

}  // namespace lumra_tools
