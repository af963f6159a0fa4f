#include "develop/icc_profiles.h"

#include "develop/output_space.h"

#include <lcms2.h>

#include <memory>

namespace lumra_tools {
namespace {

struct ProfileCloser {
    void operator()(void* h) const { cmsCloseProfile(h); }
};
struct CurveFreer {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};

bool set_text(cmsHPROFILE h, cmsTagSignature tag, const char* text) {
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    if (!mlu) return false;
    const bool ok = cmsMLUsetASCII(mlu, "en", "US", text) && cmsWriteTag(h, tag, mlu);
    cmsMLUfree(mlu);
    return ok;
}

std::vector<uint8_t> build(OutputSpace space) {
    const RgbSpace& s = rgb_space(space);
    // Parametric curve type 4, decoding: Y = (aX + b)^g for X >= d, else cX.
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    const cmsFloat64Number romm[5] = {1.8, 1.0, 0.0, 1.0 / 16.0, 16.0 / 512.0};
    std::unique_ptr<cmsToneCurve, CurveFreer> curve(cmsBuildParametricToneCurve(nullptr, 4, s.srgb_curve ? srgb : romm));
    if (!curve) return {};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const cmsCIExyY white{s.white.x, s.white.y, 1.0};
    const cmsCIExyYTRIPLE primaries{{s.red.x, s.red.y, 1.0}, {s.green.x, s.green.y, 1.0}, {s.blue.x, s.blue.y, 1.0}};
    std::unique_ptr<void, ProfileCloser> h(cmsCreateRGBProfile(&white, &primaries, curves));
    if (!h) return {};
    if (!set_text(h.get(), cmsSigProfileDescriptionTag, s.description) ||
        !set_text(h.get(), cmsSigCopyrightTag, "No copyright, use freely"))
        return {};
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(h.get(), nullptr, &size) || size == 0) return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(h.get(), bytes.data(), &size)) return {};
    bytes.resize(size);
    // LittleCMS stamps the profile with the time it was made; a fixed date
    // keeps every output of the same image byte for byte the same.
    const uint16_t date[6] = {2026, 1, 1, 0, 0, 0};
    if (bytes.size() < 36) return {};
    for (int i = 0; i < 6; ++i) {
        bytes[24 + 2 * i] = uint8_t(date[i] >> 8);
        bytes[25 + 2 * i] = uint8_t(date[i] & 0xff);
    }
    return bytes;
}

}  // namespace

const std::vector<uint8_t>& icc_profile(OutputSpace space) {
    static const std::vector<uint8_t> profiles[3] = {build(OutputSpace::srgb), build(OutputSpace::prophoto),
                                                     build(OutputSpace::display_p3)};
    switch (space) {
        case OutputSpace::prophoto: return profiles[1];
        case OutputSpace::display_p3: return profiles[2];
        default: return profiles[0];
    }
}

}  // namespace lumra_tools
