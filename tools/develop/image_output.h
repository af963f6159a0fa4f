#pragma once

#include "develop/pipeline.h"

#include <string>

namespace lumra_tools {

enum class FileFormat { png, tiff, jpeg };

struct WriteOptions {
    int jpeg_quality = 92;  // 1..100
    unsigned threads = 0;   // PNG encoding; 0: one per core
};

// Writes the image under a temporary name beside path and renames it into
// place only when complete; on failure nothing is left behind. Every format
// carries the ICC profile of the image's colour space. A PNG is
// encoded on options.threads threads (0: one per core).
bool write_image(const std::string& path, FileFormat format, const DevelopedImage& image, std::string& error,
                 const WriteOptions& options = {});

// Baseline JPEG through libjpeg-turbo (8-bit samples; a 16-bit image is
// rounded to 8 bits), with the ICC profile in APP2 markers.
bool write_jpeg(const std::string& path, const DevelopedImage& image, int quality, std::string& error);

}  // namespace lumra_tools
