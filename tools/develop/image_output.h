#pragma once

#include "develop/pipeline.h"

#include <string>

namespace lumra_tools {

enum class FileFormat { png, tiff };

// Writes the image under a temporary name beside path and renames it into
// place only when complete; on failure nothing is left behind.
bool write_image(const std::string& path, FileFormat format, const DevelopedImage& image, std::string& error);

}  // namespace lumra_tools
