#include "dng/dng_writer.h"

#include "dng/raw_encoder.h"
#include "dng/tiff_fields.h"

#include <algorithm>
#include <memory>

namespace lumra_tools {
namespace {

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

std::vector<double> widen(const std::vector<float>& v) { return {v.begin(), v.end()}; }

bool set_optional(TIFF* tif, uint32_t tag, const std::vector<double>& v) { return v.empty() || set_numbers(tif, tag, v); }
bool set_optional(TIFF* tif, uint32_t tag, const std::vector<float>& v) {
    return v.empty() || set_numbers(tif, tag, widen(v));
}
bool set_optional(TIFF* tif, uint32_t tag, const std::vector<uint32_t>& v) {
    return v.empty() || set_numbers(tif, tag, std::vector<double>(v.begin(), v.end()));
}
bool set_optional(TIFF* tif, uint32_t tag, const std::vector<uint8_t>& v) { return v.empty() || set_bytes(tif, tag, v); }

std::vector<uint8_t> text_bytes(const std::string& text) {
    if (text.empty()) return {};
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

bool write_profile(TIFF* tif, const ColorProfile& p) {
    bool ok = true;
    if (p.illuminant1) ok = ok && set_numbers(tif, 50778, {double(p.illuminant1)});
    if (p.illuminant2) ok = ok && set_numbers(tif, 50779, {double(p.illuminant2)});
    ok = ok && set_optional(tif, 50721, p.color_matrix1) && set_optional(tif, 50722, p.color_matrix2) &&
         set_optional(tif, dng_tag::kForwardMatrix1, p.forward_matrix1) &&
         set_optional(tif, dng_tag::kForwardMatrix2, p.forward_matrix2) &&
         set_optional(tif, dng_tag::kHueSatMapDims, p.hue_sat_dims) &&
         set_optional(tif, dng_tag::kHueSatMapData1, p.hue_sat_data1) &&
         set_optional(tif, dng_tag::kHueSatMapData2, p.hue_sat_data2) &&
         set_optional(tif, dng_tag::kLookTableDims, p.look_dims) &&
         set_optional(tif, dng_tag::kLookTableData, p.look_data) &&
         set_optional(tif, dng_tag::kToneCurve, p.tone_curve) &&
         set_optional(tif, dng_tag::kGainTableMap, p.gain_table_map) &&
         set_optional(tif, dng_tag::kProfileCalibrationSignature, text_bytes(p.calibration_signature));
    if (p.hue_sat_encoding) ok = ok && set_numbers(tif, dng_tag::kHueSatMapEncoding, {double(p.hue_sat_encoding)});
    if (p.look_encoding) ok = ok && set_numbers(tif, dng_tag::kLookTableEncoding, {double(p.look_encoding)});
    return ok;
}

// Tags of the whole file: version, camera, white balance and profile.
bool write_main_tags(TIFF* tif, const DngFile& dng, const DngWriteOptions& options) {
    bool ok = TIFFSetField(tif, TIFFTAG_MAKE, "lumra") && TIFFSetField(tif, TIFFTAG_MODEL, "synthetic");
    if (options.with_dng_version)
        ok = ok && set_numbers(tif, 50706, {1, 6, 0, 0}) && set_numbers(tif, 50707, {1, 4, 0, 0}) &&
             TIFFSetField(tif, 50708, dng.camera_model.c_str());
    return ok && set_optional(tif, 50728, dng.as_shot_neutral) && set_optional(tif, 50729, dng.as_shot_white_xy) &&
           set_numbers(tif, 50730, {dng.baseline_exposure}) && set_optional(tif, 50727, dng.analog_balance) &&
           set_optional(tif, 50723, dng.camera_calibration1) && set_optional(tif, 50724, dng.camera_calibration2) &&
           set_optional(tif, dng_tag::kCameraCalibrationSignature, text_bytes(dng.camera_calibration_signature)) &&
           (dng.orientation == 1 || TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(dng.orientation))) &&
           write_profile(tif, dng.profile);
}

// The samples, strip by strip or tile by tile, encoded here and handed to
// libtiff as they are to be stored.
bool write_blocks(TIFF* tif, const DngFile& dng, const DngWriteOptions& options, bool tiled, std::string& error) {
    const uint32_t block_width = tiled ? options.tile_width : dng.width;
    const uint32_t block_height = tiled ? options.tile_height : std::max(1u, options.rows_per_strip);
    std::vector<uint8_t> bytes;
    uint32_t index = 0;
    for (uint32_t y = 0; y < dng.height; y += block_height)
        for (uint32_t x = 0; x < dng.width; x += block_width, ++index) {
            const uint32_t rows = tiled ? block_height : std::min(block_height, dng.height - y);
            if (!encode_raw_block(dng, options, x, y, block_width, rows, bytes, error)) return false;
            const tmsize_t written = tiled ? TIFFWriteRawTile(tif, index, bytes.data(), tmsize_t(bytes.size()))
                                           : TIFFWriteRawStrip(tif, index, bytes.data(), tmsize_t(bytes.size()));
            if (written != tmsize_t(bytes.size())) return false;
        }
    return true;
}

// The raw image's own directory: layout, levels, opcode lists and pixels.
bool write_raw_directory(TIFF* tif, const DngFile& dng, const DngWriteOptions& options, std::string& error) {
    const bool cfa = dng.samples == 1;
    const bool tiled = options.tile_width && options.tile_height;
    bool ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0) && TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, dng.width) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, dng.height) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, options.float_bits ? options.float_bits : options.bits) &&
              TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, options.float_bits ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, dng.samples) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, options.compression) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, cfa ? PHOTOMETRIC_CFA : dng_tag::kLinearRawPhotometric) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (tiled)
        ok = ok && TIFFSetField(tif, TIFFTAG_TILEWIDTH, options.tile_width) &&
             TIFFSetField(tif, TIFFTAG_TILELENGTH, options.tile_height);
    else
        ok = ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, options.rows_per_strip);
    if (options.compression == 8 && options.predictor != 1)
        ok = ok && TIFFSetField(tif, TIFFTAG_PREDICTOR, options.predictor);
    if (cfa)
        ok = ok && set_numbers(tif, 33421, {2, 2}) &&
             set_numbers(tif, 33422, {double(dng.cfa[0]), double(dng.cfa[1]), double(dng.cfa[2]), double(dng.cfa[3])}) &&
             set_numbers(tif, 50710, {0, 1, 2}) && set_numbers(tif, 50711, {1});
    ok = ok && set_numbers(tif, 50713, {double(dng.black_repeat_rows), double(dng.black_repeat_cols)}) &&
         set_optional(tif, 50714, dng.black_levels) && set_optional(tif, 50715, dng.black_delta_h) &&
         set_optional(tif, 50716, dng.black_delta_v) && set_optional(tif, 50717, dng.white_levels) &&
         set_optional(tif, 50712, std::vector<double>(dng.linearization.begin(), dng.linearization.end())) &&
         set_optional(tif, dng_tag::kOpcodeList1, dng.opcode_list1) &&
         set_optional(tif, dng_tag::kOpcodeList2, dng.opcode_list2) &&
         set_optional(tif, dng_tag::kOpcodeList3, dng.opcode_list3);
    if (dng.default_scale[0] != 1.0 || dng.default_scale[1] != 1.0)
        ok = ok && set_numbers(tif, 50718, {dng.default_scale[0], dng.default_scale[1]});
    if (dng.default_crop_size[0] > 0)
        ok = ok && set_numbers(tif, 50719, {dng.default_crop_origin[0], dng.default_crop_origin[1]}) &&
             set_numbers(tif, 50720, {dng.default_crop_size[0], dng.default_crop_size[1]});
    const double* user = dng.default_user_crop;
    if (user[0] != 0 || user[1] != 0 || user[2] != 1 || user[3] != 1)
        ok = ok && set_numbers(tif, dng_tag::kDefaultUserCrop, {user[0], user[1], user[2], user[3]});
    if (dng.active_area[2] != 0)
        ok = ok && set_numbers(tif, 50829, {double(dng.active_area[0]), double(dng.active_area[1]),
                                            double(dng.active_area[2]), double(dng.active_area[3])});
    return ok && write_blocks(tif, dng, options, tiled, error);
}

// A small grey preview in IFD 0, the way cameras lay out their DNGs.
bool write_preview_directory(TIFF* tif, const DngFile& dng, const DngWriteOptions& options) {
    uint64_t sub_ifd[1] = {0};
    bool ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE) &&
              TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 8) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_SUBIFD, uint16_t(1), sub_ifd) && write_main_tags(tif, dng, options);
    std::vector<uint8_t> row(16 * 3, 128);
    for (uint32_t r = 0; ok && r < 8; ++r) ok = TIFFWriteScanline(tif, row.data(), r, 0) >= 0;
    return ok && TIFFWriteDirectory(tif);
}

}  // namespace

bool write_dng(const std::string& path, const DngFile& dng, std::string& error, const DngWriteOptions& options) {
    error.clear();
    TiffMessages messages;
    std::unique_ptr<TIFF, TiffCloser> holder(open_tiff(path, options.big_endian ? "wb" : "wl", &messages));
    TIFF* tif = holder.get();
    if (!tif) {
        error = "cannot create " + path + (messages.error.empty() ? "" : ": " + messages.error);
        return false;
    }
    const bool ok = options.raw_in_sub_ifd
                        ? write_preview_directory(tif, dng, options) && write_raw_directory(tif, dng, options, error)
                        : write_main_tags(tif, dng, options) && write_raw_directory(tif, dng, options, error);
    if (!ok) {
        error = "cannot write " + path + (!error.empty() ? ": " + error : messages.error.empty() ? "" : ": " + messages.error);
        return false;
    }
    holder.reset();
    if (!messages.error.empty()) {
        error = "cannot write " + path + ": " + messages.error;
        return false;
    }
    return true;
}

}  // namespace lumra_tools
