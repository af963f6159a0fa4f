#include "support/color_reference.h"

#include <cmath>
#include <type_traits>

#include "support/image.h"

namespace lumra_ref {

std::vector<float> pad(const std::vector<float>& curve) {
    std::vector<float> padded(curve);
    padded.push_back(curve.back());
    return padded;
}

float lookup(const std::vector<float>& padded, float position) {
    const float top = static_cast<float>(padded.size() - 2);
    float p = position;
    if (!(p > 0.0f)) p = 0.0f;  // also NaN
    if (p > top) p = top;
    const int32_t k = static_cast<int32_t>(p);
    const float f = p - static_cast<float>(k);
    return padded[k] + (padded[k + 1] - padded[k]) * f;
}

float unit_clamp(float value) {
    if (!(value > 0.0f)) return 0.0f;
    if (value > 1.0f) return 1.0f;
    return value;
}

float dot(const float* row, float a, float b, float c) { return (row[0] * a + row[1] * b) + row[2] * c; }

template <typename Out>
Out store(float value) {
    if constexpr (std::is_same_v<Out, float>) {
        return value;
    } else {
        const float top = std::is_same_v<Out, uint8_t> ? 255.0f : 65535.0f;
        if (std::isnan(value) || value <= 0.0f) return 0;
        if (value >= top) return static_cast<Out>(top);
        return static_cast<Out>(static_cast<int32_t>(value));
    }
}

float full_scale(LumraDType type, int32_t bits) {
    if (type == LUMRA_DTYPE_FLOAT32) return 1.0f;
    if (bits > 0) return static_cast<float>((1u << bits) - 1u);
    return type == LUMRA_DTYPE_UINT8 ? 255.0f : 65535.0f;
}

template <typename In, typename Out>
std::vector<Out> transform(const std::vector<In>& src, const TransformArgs& args) {
    const LumraDType in_type = lumra_test::dtype_of<In>(), out_type = lumra_test::dtype_of<Out>();
    const float in_scale = 1.0f / full_scale(in_type, args.in_bits);
    const float out_scale = full_scale(out_type, args.out_bits);
    const float* m = args.matrix;
    // Without a matrix only one curve applies: lut1 if given, else lut2.
    const std::vector<float>* first = m ? args.lut1 : (args.lut1 ? args.lut1 : args.lut2);
    const std::vector<float>* second = m ? args.lut2 : nullptr;
    const bool direct = std::is_same_v<In, uint8_t> && first && first->size() == 256;
    const std::vector<float> first_padded = first ? pad(*first) : std::vector<float>{};
    const std::vector<float> second_padded = second ? pad(*second) : std::vector<float>{};
    const float first_scale = first ? in_scale * static_cast<float>(first->size() - 1) : 0.0f;
    const float second_top = second ? static_cast<float>(second->size() - 1) : 0.0f;

    std::vector<Out> out(src.size());
    for (size_t i = 0; i < src.size(); i += 3) {
        float v[3];
        for (int c = 0; c < 3; ++c) {
            const float element = static_cast<float>(src[i + c]);
            if (!first) v[c] = element * in_scale;
            else if (direct) v[c] = (*first)[static_cast<size_t>(src[i + c])];
            else v[c] = lookup(first_padded, element * first_scale);
        }
        for (int row = 0; row < 3; ++row) {
            float result;
            if (!m) {
                result = unit_clamp(v[row]) * out_scale;
            } else if (!second) {
                result = unit_clamp(dot(m + 3 * row, v[0], v[1], v[2])) * out_scale;
            } else {
                // Rows pre-multiplied: by in_scale * (N2 - 1) on elements, by (N2 - 1) after a curve.
                const float factor = first ? second_top : in_scale * second_top;
                const float scaled[3] = {m[3 * row] * factor, m[3 * row + 1] * factor, m[3 * row + 2] * factor};
                const float position = first ? dot(scaled, v[0], v[1], v[2])
                                             : dot(scaled, static_cast<float>(src[i]), static_cast<float>(src[i + 1]),
                                                   static_cast<float>(src[i + 2]));
                result = lookup(second_padded, position) * out_scale;
            }
            out[i + row] = store<Out>(result);
        }
    }
    return out;
}

void hue_tone(float r, float g, float b, float out[3], const std::vector<float>& padded, float tone_max) {
    r = unit_clamp(r);
    g = unit_clamp(g);
    b = unit_clamp(b);
    int hi, mid, lo;  // channel indices
    bool tied = false;
    if (r >= g && g > b) {
        hi = 0, mid = 1, lo = 2;
    } else if (r >= g && g <= b && r >= b) {
        hi = 0, mid = 2, lo = 1;
        tied = g == b;
    } else if (r >= g && g <= b && r < b) {
        hi = 2, mid = 0, lo = 1;
    } else if (r < g && r >= b) {
        hi = 1, mid = 0, lo = 2;
    } else if (r < g && r < b && g < b) {
        hi = 2, mid = 1, lo = 0;
    } else {
        hi = 1, mid = 2, lo = 0;
    }
    const float in[3] = {r, g, b};
    const float hi_out = lookup(padded, in[hi] * tone_max);
    const float lo_out = lookup(padded, in[lo] * tone_max);
    float mid_out = lo_out;
    if (in[hi] - in[lo] > 1e-10f && !tied) {
        mid_out = lo_out + (in[mid] - in[lo]) * (hi_out - lo_out) / (in[hi] - in[lo]);
    }
    out[hi] = hi_out;
    out[mid] = mid_out;
    out[lo] = lo_out;
}

template <typename Out>
std::vector<Out> hue_transform(const std::vector<float>& src, const TransformArgs& args) {
    const std::vector<float> padded = pad(*args.lut1);
    const float tone_max = static_cast<float>(args.lut1->size() - 1);
    const float out_scale = full_scale(lumra_test::dtype_of<Out>(), args.out_bits);
    const std::vector<float> second = args.lut2 ? pad(*args.lut2) : std::vector<float>{};
    std::vector<Out> out(src.size());
    for (size_t i = 0; i < src.size(); i += 3) {
        float t[3];
        hue_tone(src[i], src[i + 1], src[i + 2], t, padded, tone_max);
        for (int row = 0; row < 3; ++row) {
            if (!args.matrix) {
                out[i + row] = store<Out>(t[row]);
            } else if (!args.lut2) {
                out[i + row] = store<Out>(unit_clamp(dot(args.matrix + 3 * row, t[0], t[1], t[2])) * out_scale);
            } else {
                const float lut2_max = static_cast<float>(args.lut2->size() - 1);
                const float p = lut2_max * dot(args.matrix + 3 * row, t[0], t[1], t[2]);
                out[i + row] = store<Out>(lookup(second, p) * out_scale);
            }
        }
    }
    return out;
}

std::vector<float> clip_and_transform(const std::vector<float>& src, const float clip_max[3], const float* matrix) {
    std::vector<float> out(src.size());
    for (size_t i = 0; i < src.size(); i += 3) {
        float c[3];
        for (int j = 0; j < 3; ++j) c[j] = src[i + j] > clip_max[j] ? clip_max[j] : src[i + j];
        for (int row = 0; row < 3; ++row) out[i + row] = unit_clamp(dot(matrix + 3 * row, c[0], c[1], c[2]));
    }
    return out;
}

template <typename In, typename Out>
std::vector<Out> mono_lut(const std::vector<In>& src, const std::vector<float>& lut, int32_t in_bits,
                          int32_t out_bits) {
    const float in_max = full_scale(lumra_test::dtype_of<In>(), in_bits);
    const float out_max = full_scale(lumra_test::dtype_of<Out>(), out_bits);
    const float factor = (1.0f / in_max) * static_cast<float>(lut.size() - 1);
    const std::vector<float> padded = pad(lut);  // entry N read as entry N - 1
    std::vector<Out> out(src.size());
    for (size_t i = 0; i < src.size(); ++i) {
        const float value = std::is_same_v<In, uint8_t> && lut.size() == 256
                                ? lut[static_cast<size_t>(src[i])]
                                : lookup(padded, static_cast<float>(src[i]) * factor);
        out[i] = store<Out>(unit_clamp(value) * out_max);
    }
    return out;
}

#define LUMRA_REF_PAIR(In, Out)                                                                         \
    template std::vector<Out> transform<In, Out>(const std::vector<In>&, const TransformArgs&);         \
    template std::vector<Out> mono_lut<In, Out>(const std::vector<In>&, const std::vector<float>&, int32_t, \
                                                int32_t);
#define LUMRA_REF_INPUT(In)     \
    LUMRA_REF_PAIR(In, uint8_t) \
    LUMRA_REF_PAIR(In, uint16_t) \
    LUMRA_REF_PAIR(In, float)
LUMRA_REF_INPUT(uint8_t)
LUMRA_REF_INPUT(uint16_t)
LUMRA_REF_INPUT(float)
template std::vector<uint8_t> hue_transform<uint8_t>(const std::vector<float>&, const TransformArgs&);
template std::vector<uint16_t> hue_transform<uint16_t>(const std::vector<float>&, const TransformArgs&);
template std::vector<float> hue_transform<float>(const std::vector<float>&, const TransformArgs&);
template uint8_t store<uint8_t>(float);
template uint16_t store<uint16_t>(float);
template float store<float>(float);

}  // namespace lumra_ref
