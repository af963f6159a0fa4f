// libtiff glue: the DNG tags this libtiff does not know, silenced global
// handlers, and reading or writing any numeric tag whatever libtiff's own
// storage type for it is.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

namespace dng_tag {
inline constexpr uint32_t kForwardMatrix1 = 50964, kForwardMatrix2 = 50965;
inline constexpr uint32_t kHueSatMapDims = 50937, kHueSatMapData1 = 50938, kHueSatMapData2 = 50939;
inline constexpr uint32_t kToneCurve = 50940;
inline constexpr uint32_t kLookTableDims = 50981, kLookTableData = 50982;
inline constexpr uint32_t kOpcodeList1 = 51008, kOpcodeList2 = 51009, kOpcodeList3 = 51022;
inline constexpr uint32_t kHueSatMapEncoding = 51107, kLookTableEncoding = 51108;
inline constexpr uint32_t kBaselineExposureOffset = 51109;
inline constexpr uint32_t kGainTableMap = 52525;
inline constexpr uint32_t kLinearRawPhotometric = 34892;
inline constexpr uint32_t kCameraCalibrationSignature = 50931, kProfileCalibrationSignature = 50932;
inline constexpr uint32_t kDefaultUserCrop = 51125;
}  // namespace dng_tag

// Registers the extra tags for every file opened afterwards and routes
// libtiff's global warning and error output nowhere. Idempotent.
void prepare_libtiff();

// What libtiff said about a file: its first error, and its first warning
// that a tag was dropped because its data is damaged or cut off.
struct TiffMessages {
    std::string error;
    std::string damage;
};

// Opens path for reading or writing ("r" / "w"); libtiff's messages land in
// *messages (which must outlive the handle).
TIFF* open_tiff(const std::string& path, const char* mode, TiffMessages* messages);

// Numeric tag as doubles; false when the tag is absent or not numeric.
bool get_numbers(TIFF* tif, uint32_t tag, std::vector<double>& values);
// Byte-blob tag (UNDEFINED or BYTE); false when absent.
bool get_bytes(TIFF* tif, uint32_t tag, std::vector<uint8_t>& bytes);

bool set_numbers(TIFF* tif, uint32_t tag, const std::vector<double>& values);
bool set_bytes(TIFF* tif, uint32_t tag, const std::vector<uint8_t>& bytes);

}  // namespace lumra_tools
