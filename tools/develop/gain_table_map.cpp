#include "develop/gain_table_map.h"

#include "dng/big_endian.h"

#include <cmath>

namespace lumra_tools {

bool GainTableMap::parse(const std::vector<uint8_t>& bytes, std::string& error) {
    BigEndianReader in(bytes.data(), bytes.size());
    bool ok = in.u32(points_v) && in.u32(points_h) && in.f64(spacing_v) && in.f64(spacing_h) && in.f64(origin_v) &&
              in.f64(origin_h) && in.u32(points_n);
    for (float& w : weights) ok = ok && in.f32(w);
    const uint64_t count = uint64_t(points_v) * points_h * points_n;
    if (!ok || points_v == 0 || points_h == 0 || points_n == 0 || points_v > 65536 || points_h > 65536 ||
        points_n > 65536 || count > in.remaining() / 4) {
        error = "has a malformed ProfileGainTableMap";
        return false;
    }
    gains.resize(count);
    for (float& g : gains) in.f32(g);
    gamma = 1.0f;
    if (in.remaining() >= 4) in.f32(gamma);
    if (!(gamma > 0.0f) || !std::isfinite(gamma)) {
        error = "has a ProfileGainTableMap with an impossible gamma";
        return false;
    }
    return true;
}

bool GainTableMap::apply(LumraImage& band, uint32_t top, uint32_t full_height, std::string& error) const {
    const LumraRegion region = band_region(top, full_height, band.width);
    const LumraStatus status = lumra_apply_profile_gain_table_map_region(
        &band, &region, gains.data(), int32_t(points_v), int32_t(points_h), int32_t(points_n), weights,
        float(spacing_v), float(spacing_h), float(origin_v), float(origin_h), gamma, 1.0f);
    if (status == LUMRA_OK) return true;
    error = "ProfileGainTableMap failed: " + status_text(status);
    return false;
}

bool apply_gain_table_map(const std::vector<uint8_t>& bytes, FloatImage& image, std::string& error) {
    GainTableMap map;
    if (!map.parse(bytes, error)) return false;
    LumraImage view = image.view();
    const LumraStatus status = lumra_apply_profile_gain_table_map(
        &view, map.gains.data(), int32_t(map.points_v), int32_t(map.points_h), int32_t(map.points_n), map.weights,
        float(map.spacing_v), float(map.spacing_h), float(map.origin_v), float(map.origin_h), map.gamma, 1.0f);
    if (status != LUMRA_OK) {
        error = "ProfileGainTableMap failed: " + status_text(status);
        return false;
    }
    return true;
}

}  // namespace lumra_tools
