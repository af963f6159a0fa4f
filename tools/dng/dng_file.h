// In-memory form of the parts of a DNG that the developer uses; the reader
// fills it from a file, the sample generator and the tests write it out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumra_tools {

// The colour profile: from the DNG's own tags or from a camera profile file.
struct ColorProfile {
    int illuminant1 = 0, illuminant2 = 0;
    std::vector<double> color_matrix1, color_matrix2;      // 9 each when present (3 x 3, XYZ to camera)
    std::vector<double> forward_matrix1, forward_matrix2;  // 9 each when present (camera to XYZ D50)
    std::vector<uint32_t> hue_sat_dims;                    // hue, saturation, value divisions
    std::vector<float> hue_sat_data1, hue_sat_data2;
    uint32_t hue_sat_encoding = 0;
    std::vector<uint32_t> look_dims;
    std::vector<float> look_data;
    uint32_t look_encoding = 0;
    std::vector<float> tone_curve;  // x, y pairs
    std::string calibration_signature;  // ProfileCalibrationSignature, empty when absent
    std::vector<uint8_t> gain_table_map;
    double baseline_exposure_offset = 0.0;
};

struct DngFile {
    std::string camera_model = "lumra synthetic camera";
    uint32_t width = 0, height = 0, samples = 1;  // samples 1: CFA mosaic, 3: linear raw
    std::vector<uint16_t> raw;                    // height x width x samples
    std::vector<float> raw_float;                 // floating-point raw data instead of raw, when stored so
    int cfa[4] = {0, 1, 1, 2};                    // colours of the 2 x 2 tile, row-major
    uint32_t black_repeat_rows = 1, black_repeat_cols = 1;
    std::vector<float> black_levels{0.0f};
    std::vector<float> black_delta_h, black_delta_v;
    std::vector<float> white_levels{65535.0f};
    std::vector<uint16_t> linearization;
    uint32_t active_area[4] = {0, 0, 0, 0};  // top, left, bottom, right; all 0: whole image
    std::vector<uint8_t> opcode_list1, opcode_list2, opcode_list3;
    std::vector<double> as_shot_neutral;  // 3 when present
    std::vector<double> as_shot_white_xy;  // 2 when present
    double baseline_exposure = 0.0;
    // Colour calibration of this camera unit (IFD 0).
    std::vector<double> analog_balance;                            // 3 when present
    std::vector<double> camera_calibration1, camera_calibration2;  // 9 each when present
    std::string camera_calibration_signature;                      // empty when absent
    // Geometry of the developed image, in active-area pixels.
    uint32_t orientation = 1;                  // TIFF Orientation, 1..8
    double default_scale[2] = {1.0, 1.0};      // horizontal, vertical
    double default_crop_origin[2] = {0, 0};    // x, y
    double default_crop_size[2] = {0, 0};      // width, height; 0: the whole active area
    double default_user_crop[4] = {0, 0, 1, 1};  // top, left, bottom, right, fractions of the default crop
    ColorProfile profile;
};

}  // namespace lumra_tools
