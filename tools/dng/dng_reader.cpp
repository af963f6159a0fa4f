#include "dng/dng_reader.h"

#include "dng/profile_tags.h"
#include "dng/render_tags.h"
#include "dng/raw_data.h"
#include "dng/tiff_fields.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace lumra_tools {
namespace {

constexpr uint32_t kDngVersion = 50706, kUniqueCameraModel = 50708;
constexpr uint32_t kCfaRepeatDim = 33421, kCfaPattern = 33422, kCfaPlaneColor = 50710;
constexpr uint32_t kLinearization = 50712, kBlackRepeatDim = 50713, kBlackLevel = 50714;
constexpr uint32_t kBlackDeltaH = 50715, kBlackDeltaV = 50716, kWhiteLevel = 50717;
constexpr uint32_t kAsShotNeutral = 50728, kAsShotWhiteXy = 50729, kBaselineExposure = 50730;
constexpr uint32_t kActiveArea = 50829;
constexpr uint64_t kMaxSamples = uint64_t(1) << 30;

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

class LibtiffTags : public TagSource {
public:
    explicit LibtiffTags(TIFF* tif) : tif_(tif) {}
    bool numbers(uint32_t tag, std::vector<double>& values) override { return get_numbers(tif_, tag, values); }
    bool bytes(uint32_t tag, std::vector<uint8_t>& values) override { return get_bytes(tif_, tag, values); }

private:
    TIFF* tif_;
};

uint32_t field_u32(TIFF* tif, uint32_t tag, uint32_t fallback) {
    std::vector<double> v;
    return get_numbers(tif, tag, v) && !v.empty() && v[0] >= 0 ? uint32_t(v[0]) : fallback;
}

bool is_raw_directory(TIFF* tif) {
    const uint32_t subfile = field_u32(tif, TIFFTAG_SUBFILETYPE, 0);
    const uint32_t photometric = field_u32(tif, TIFFTAG_PHOTOMETRIC, 0);
    return subfile == 0 && (photometric == PHOTOMETRIC_CFA || photometric == dng_tag::kLinearRawPhotometric);
}

// Moves tif to the directory holding the full-size raw image: IFD 0 or one
// of its sub-IFDs.
bool find_raw_directory(TIFF* tif, std::string& error) {
    if (is_raw_directory(tif)) return true;
    uint16_t count = 0;
    uint64_t* offsets = nullptr;
    if (TIFFGetField(tif, TIFFTAG_SUBIFD, &count, &offsets) && offsets) {
        const std::vector<uint64_t> list(offsets, offsets + count);
        for (uint64_t offset : list) {
            if (!TIFFSetSubDirectory(tif, offset)) continue;
            if (is_raw_directory(tif)) return true;
        }
    }
    error = "holds no full-size CFA or linear raw image";
    return false;
}

bool read_layout(TIFF* tif, DngFile& dng, RawLayout& layout, std::string& error) {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 1, compression = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    const uint32_t photometric = field_u32(tif, TIFFTAG_PHOTOMETRIC, 0);
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_IEEEFP) {
        error = "stores samples of SampleFormat " + std::to_string(format) +
                "; only unsigned integers and floating point are supported";
        return false;
    }
    if (photometric == PHOTOMETRIC_CFA && samples != 1) {
        error = "has a CFA image with " + std::to_string(samples) + " samples per pixel";
        return false;
    }
    if (photometric == dng_tag::kLinearRawPhotometric && samples != 3) {
        error = "has a linear raw image with " + std::to_string(samples) + " samples; only 3 are supported";
        return false;
    }
    if (samples > 1 && planar != PLANARCONFIG_CONTIG) {
        error = "stores its samples in separate planes, which is not supported";
        return false;
    }
    // Whether the stored bytes can hold this many samples is checked block by
    // block; this bound keeps a damaged size from asking for gigabytes.
    const uint64_t sample_count = uint64_t(width) * height * samples;
    if (width == 0 || height == 0 || sample_count > kMaxSamples) {
        error = "has an impossible image size of " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    layout.width = width;
    layout.height = height;
    layout.samples = samples;
    layout.bits = bits;
    layout.floating_point = format == SAMPLEFORMAT_IEEEFP;
    layout.compression = compression;
    layout.predictor = field_u32(tif, TIFFTAG_PREDICTOR, 1);
    layout.big_endian = TIFFIsBigEndian(tif) != 0;
    layout.tiled = TIFFIsTiled(tif) != 0;
    uint32_t blocks;
    if (layout.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &layout.block_width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &layout.block_height);
        blocks = TIFFNumberOfTiles(tif);
    } else {
        uint32_t rows_per_strip = height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
        layout.block_width = width;
        layout.block_height = std::min(rows_per_strip, height);
        blocks = TIFFNumberOfStrips(tif);
    }
    for (uint32_t i = 0; i < blocks; ++i) {
        int missing = 0;
        layout.offsets.push_back(TIFFGetStrileOffsetWithErr(tif, i, &missing));
        layout.byte_counts.push_back(TIFFGetStrileByteCountWithErr(tif, i, &missing));
        if (missing) {
            error = std::string("has no offset or byte count for ") + (layout.tiled ? "tile " : "strip ") +
                    std::to_string(i);
            return false;
        }
    }
    dng.width = width;
    dng.height = height;
    dng.samples = samples;
    // DNG's default white level: the largest stored value, 1.0 for floats.
    dng.white_levels = {layout.floating_point ? 1.0f : float((uint32_t(1) << std::min<uint32_t>(bits, 16)) - 1)};
    return true;
}

bool read_cfa(TIFF* tif, DngFile& dng, std::string& error) {
    std::vector<double> dim, pattern, planes;
    if (!get_numbers(tif, kCfaRepeatDim, dim) || !get_numbers(tif, kCfaPattern, pattern)) {
        error = "has a CFA image without CFARepeatPatternDim and CFAPattern";
        return false;
    }
    if (dim.size() != 2 || dim[0] != 2 || dim[1] != 2) {
        error = "has a CFA pattern that is not 2 x 2";
        return false;
    }
    if (pattern.size() != 4) {
        error = "has a CFAPattern of " + std::to_string(pattern.size()) + " entries for a 2 x 2 pattern";
        return false;
    }
    int plane_colour[3] = {0, 1, 2};
    if (get_numbers(tif, kCfaPlaneColor, planes)) {
        if (planes.size() != 3) {
            error = "has a CFAPlaneColor of " + std::to_string(planes.size()) + " entries; only 3 are supported";
            return false;
        }
        for (int i = 0; i < 3; ++i) plane_colour[i] = int(planes[i]);
    }
    for (int site = 0; site < 4; ++site) {
        int channel = -1;
        for (int i = 0; i < 3; ++i)
            if (plane_colour[i] == int(pattern[site])) channel = i;
        if (channel < 0) {
            error = "has a CFAPattern colour outside its plane colours";
            return false;
        }
        dng.cfa[site] = channel;
    }
    return true;
}

bool read_levels(TIFF* tif, DngFile& dng, std::string& error) {
    std::vector<double> v;
    if (get_numbers(tif, kBlackRepeatDim, v)) {
        if (v.size() != 2 || v[0] < 1 || v[1] < 1 || v[0] > 64 || v[1] > 64) {
            error = "has an impossible BlackLevelRepeatDim";
            return false;
        }
        dng.black_repeat_rows = uint32_t(v[0]);
        dng.black_repeat_cols = uint32_t(v[1]);
    }
    if (get_numbers(tif, kActiveArea, v)) {
        if (v.size() != 4 || v[0] >= v[2] || v[1] >= v[3] || v[2] > dng.height || v[3] > dng.width) {
            error = "has an ActiveArea outside its image";
            return false;
        }
        for (int i = 0; i < 4; ++i) dng.active_area[i] = uint32_t(v[i]);
    }
    const uint32_t active_width = dng.active_area[2] ? dng.active_area[3] - dng.active_area[1] : dng.width;
    const uint32_t active_height = dng.active_area[2] ? dng.active_area[2] - dng.active_area[0] : dng.height;
    const size_t tile = size_t(dng.black_repeat_rows) * dng.black_repeat_cols * dng.samples;
    if (get_numbers(tif, kBlackLevel, v)) {
        if (v.size() != tile) {
            error = "has " + std::to_string(v.size()) + " BlackLevel values where its repeat pattern needs " +
                    std::to_string(tile);
            return false;
        }
        dng.black_levels.assign(v.begin(), v.end());
    } else {
        dng.black_levels.assign(tile, 0.0f);
    }
    if (get_numbers(tif, kBlackDeltaH, v)) {
        if (v.size() != active_width) {
            error = "has " + std::to_string(v.size()) + " BlackLevelDeltaH values for " + std::to_string(active_width) +
                    " columns";
            return false;
        }
        dng.black_delta_h.assign(v.begin(), v.end());
    }
    if (get_numbers(tif, kBlackDeltaV, v)) {
        if (v.size() != active_height) {
            error = "has " + std::to_string(v.size()) + " BlackLevelDeltaV values for " + std::to_string(active_height) +
                    " rows";
            return false;
        }
        dng.black_delta_v.assign(v.begin(), v.end());
    }
    if (get_numbers(tif, kWhiteLevel, v)) {
        if (v.size() != 1 && v.size() != dng.samples) {
            error = "has " + std::to_string(v.size()) + " WhiteLevel values for " + std::to_string(dng.samples) +
                    " samples";
            return false;
        }
        dng.white_levels.assign(v.begin(), v.end());
    }
    if (get_numbers(tif, kLinearization, v)) {
        if (v.empty() || v.size() > 65536) {
            error = "has a LinearizationTable of " + std::to_string(v.size()) + " entries";
            return false;
        }
        dng.linearization.assign(v.begin(), v.end());
    }
    for (float b : dng.black_levels)
        if (!std::isfinite(b)) {
            error = "has a BlackLevel that is not finite";
            return false;
        }
    get_bytes(tif, dng_tag::kOpcodeList1, dng.opcode_list1);
    get_bytes(tif, dng_tag::kOpcodeList2, dng.opcode_list2);
    get_bytes(tif, dng_tag::kOpcodeList3, dng.opcode_list3);
    LibtiffTags tags(tif);
    return read_crop_tags(tags, dng, error);
}

bool read_pixels(const std::string& path, uint64_t file_size, const RawLayout& layout, unsigned threads,
                 DngFile& dng, std::string& error) {
    if (!check_raw_layout(layout, file_size, error)) return false;  // before reading the file in
    std::vector<uint8_t> bytes(static_cast<size_t>(file_size));
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file || std::fread(bytes.data(), 1, size_t(file_size), file.get()) != file_size) {
        error = "cannot be read back in full";
        return false;
    }
    RawSamples samples;
    if (!decode_raw_data(layout, bytes.data(), size_t(file_size), threads, samples, error)) return false;
    dng.raw.swap(samples.integers);
    dng.raw_float.swap(samples.floats);
    return true;
}

bool read_main_tags(TIFF* tif, DngFile& dng, std::string& error) {
    std::vector<double> v;
    if (!get_numbers(tif, kDngVersion, v) || v.size() != 4) {
        error = "is a TIFF file but not a DNG (no DNGVersion)";
        return false;
    }
    char* model = nullptr;
    if (TIFFGetField(tif, kUniqueCameraModel, &model) && model) dng.camera_model = model;
    if (get_numbers(tif, kAsShotNeutral, v)) {
        if (v.size() != 3) {
            error = "has an AsShotNeutral of " + std::to_string(v.size()) + " values";
            return false;
        }
        for (double x : v)
            if (!(x > 0.0) || !std::isfinite(x)) {
                error = "has an AsShotNeutral value that is not positive";
                return false;
            }
        dng.as_shot_neutral = v;
    }
    if (get_numbers(tif, kAsShotWhiteXy, v) && v.size() == 2 && v[1] > 0) dng.as_shot_white_xy = v;
    if (get_numbers(tif, kBaselineExposure, v) && !v.empty() && std::isfinite(v[0]))
        dng.baseline_exposure = v[0];
    LibtiffTags tags(tif);
    return read_camera_tags(tags, dng, error) && read_profile_tags(tags, dng.profile, error);
}

}  // namespace

bool read_dng(const std::string& path, DngFile& dng, std::string& error, unsigned threads) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "is a directory";
        return false;
    }
    TiffMessages messages;
    std::unique_ptr<TIFF, TiffCloser> tif(open_tiff(path, "r", &messages));
    if (!tif) {
        error = "is not a TIFF/DNG file" + (messages.error.empty() ? std::string() : " (" + messages.error + ")");
        return false;
    }
    dng = DngFile{};
    RawLayout layout;
    const uint64_t file_size = uint64_t(info.st_size);
    const bool ok = read_main_tags(tif.get(), dng, error) && find_raw_directory(tif.get(), error) &&
                    read_layout(tif.get(), dng, layout, error) &&
                    (dng.samples != 1 || read_cfa(tif.get(), dng, error)) && read_levels(tif.get(), dng, error) &&
                    read_pixels(path, file_size, layout, threads, dng, error);
    if (ok && !messages.damage.empty()) {
        error = "is damaged or cut off (" + messages.damage + ")";
        return false;
    }
    if (!ok && !messages.error.empty() && error.find(messages.error) == std::string::npos)
        error += " (" + messages.error + ")";
    return ok;
}

bool read_dng_layout(const std::string& path, RawLayout& layout, std::string& error) {
    TiffMessages messages;
    std::unique_ptr<TIFF, TiffCloser> tif(open_tiff(path, "r", &messages));
    if (!tif) {
        error = "is not a TIFF/DNG file";
        return false;
    }
    DngFile dng;
    layout = RawLayout{};
    return find_raw_directory(tif.get(), error) && read_layout(tif.get(), dng, layout, error);
}

}  // namespace lumra_tools
