// PNG encoding on several threads: the image's rows are filtered and
// deflated in bands, each band's deflate stream ending on a byte boundary
// (a sync flush), so the bands join into one zlib stream whose checksum is
// combined from the bands' checksums.
#pragma once

#include "develop/pipeline.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumra_tools {

// The iCCP chunk's profile name (Latin-1, at most 79 characters).
const char* png_profile_name(OutputSpace space);

// Writes the image as a PNG file, with the ICC profile of its colour space. threads 0: one per core. The bytes do not
// depend on the thread count.
bool write_png_bands(std::FILE* file, const DevelopedImage& image, unsigned threads, std::string& error);

}  // namespace lumra_tools
