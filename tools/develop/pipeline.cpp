#include "develop/pipeline.h"

#include "develop/band_pool.h"
#include "develop/color_setup.h"
#include "develop/gain_table_map.h"
#include "develop/geometry.h"
#include "develop/hue_sat_encoded.h"
#include "develop/output_space.h"
#include "develop/planes.h"
#include "develop/raw_opcodes.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <variant>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lumra_tools {
namespace {

using Clock = std::chrono::steady_clock;

class StageClock {
public:
    explicit StageClock(DevelopReport& report) : report_(report), start_(Clock::now()) {}
    void lap(const char* name) {
        const auto now = Clock::now();
        report_.stages.push_back({name, std::chrono::duration<double>(now - start_).count()});
        start_ = now;
    }

private:
    DevelopReport& report_;
    Clock::time_point start_;
};

bool check(LumraStatus status, const char* what, std::string& error) {
    if (status == LUMRA_OK) return true;
    error = std::string(what) + " failed: " + status_text(status);
    return false;
}

bool parse_list(const std::vector<uint8_t>& bytes, const char* name, std::vector<Opcode>& list, std::string& error) {
    if (bytes.empty()) return true;
    std::string reason;
    if (parse_opcode_list(bytes, list, reason)) return true;
    error = "has a malformed " + std::string(name) + ": " + reason;
    return false;
}

// Rows [top, bottom) of a source kept from the worker's last band.
struct RowWindow {
    SampleVector<float> rows;
    uint32_t top = 0, bottom = 0;
};

// Buffers of one worker, reused from band to band: slot i belongs to the
// source numbered i, so a source's rows stay valid while its consumer works.
// Every stage writes the rows it hands on, so the buffers are not cleared.
struct Worker {
    std::vector<SampleVector<float>> floats;
    std::vector<SampleVector<uint16_t>> words[2];
    std::vector<SampleVector<float>> float_raw;  // float samples cut to the active area's columns
    std::vector<RowWindow> windows;
};

// Takes rows [top, bottom) of an image, packed, valid during the call.
using PieceUse = std::function<bool(const float* rows, uint32_t top, uint32_t bottom, std::string& error)>;

template <typename T>
T* room(std::vector<SampleVector<T>>& slots, size_t slot, size_t count) {
    if (slots.size() <= slot) slots.resize(slot + 1);
    if (slots[slot].size() < count) slots[slot].resize(count);
    return slots[slot].data();
}

// Produces rows of a float image in whole-image coordinates, then runs its
// band steps on them in place.
class Source {
public:
    Source(uint32_t height, uint32_t width, uint32_t channels, size_t slot)
        : height(height), width(width), channels(channels), slot(slot) {}
    virtual ~Source() = default;

    const uint32_t height, width, channels;
    const size_t slot;
    std::vector<FloatStep> steps;  // band forms only

    // The whole image this source reads as is, if it is one.
    virtual FloatImage* whole() { return nullptr; }

    // Rows [top, bottom), packed; valid until the same worker asks this
    // source again. Callers only read them.
    bool rows(uint32_t top, uint32_t bottom, Worker& worker, const float*& out, std::string& error) {
        float* band = nullptr;
        if (!produce(top, bottom, worker, band, error) || !run_steps(band, top, bottom, error)) return false;
        out = band;
        return true;
    }

    // Rows [top, bottom) made into `dst`.
    bool rows_into(uint32_t top, uint32_t bottom, Worker& worker, float* dst, std::string& error) {
        float* band = dst;
        if (!produce(top, bottom, worker, band, error) || !run_steps(band, top, bottom, error)) return false;
        if (band != dst) std::memcpy(dst, band, (bottom - top) * row_elements() * sizeof(float));
        return true;
    }

    // Rows [top, bottom) handed to use() in consecutive pieces of at most
    // `piece` rows. The band steps run piece by piece, so that each piece
    // goes through them and on to use() while it is in the cache; a band
    // step's result does not depend on the rows it is given at once.
    virtual bool pieces(uint32_t top, uint32_t bottom, uint32_t piece, Worker& worker, const PieceUse& use,
                        std::string& error) {
        float* band = nullptr;
        if (!produce(top, bottom, worker, band, error)) return false;
        for (uint32_t first = top; first < bottom; first += piece) {
            const uint32_t end = uint32_t(std::min<uint64_t>(bottom, uint64_t(first) + piece));
            float* at = band + (first - top) * row_elements();
            if (!run_steps(at, first, end, error) || !use(at, first, end, error)) return false;
        }
        return true;
    }

protected:
    // Makes rows [top, bottom) before the band steps, packed: into `out`
    // when the caller gives a buffer there, else into the worker's buffer of
    // this source or (read in place) into the image it holds.
    virtual bool produce(uint32_t top, uint32_t bottom, Worker& worker, float*& out, std::string& error) = 0;
    size_t row_elements() const { return size_t(width) * channels; }

    // The band steps in place on rows [top, bottom), packed at `rows`.
    bool run_steps(float* rows, uint32_t top, uint32_t bottom, std::string& error) const {
        LumraImage view{rows, bottom - top, width, channels, LUMRA_DTYPE_FLOAT32, 0};
        for (const FloatStep& step : steps)
            if (!step.band(view, top, height, error)) return false;
        return true;
    }
};

// A whole image held in memory.
class WholeSource final : public Source {
public:
    WholeSource(FloatImage image, size_t slot)
        : Source(image.height, image.width, image.channels, slot), image_(std::move(image)) {}
    FloatImage* whole() override { return steps.empty() ? &image_ : nullptr; }

private:
    bool produce(uint32_t top, uint32_t bottom, Worker& worker, float*& out, std::string&) override {
        float* at = image_.data.get() + top * row_elements();
        if (steps.empty()) {
            out = at;  // read in place
            return true;
        }
        if (!out) out = room(worker.floats, slot, (bottom - top) * row_elements());
        std::memcpy(out, at, (bottom - top) * row_elements() * sizeof(float));
        return true;
    }
    FloatImage image_;
};

// The raw data: bad-pixel repair of OpcodeList1, the active area, and the
// normalisation to [0, 1].
class RawSource final : public Source {
public:
    struct Fix {
        uint16_t bad_value;
        int32_t phase;  // lumra's numbering
    };

    RawSource(const DngFile& dng, std::vector<Fix> fixes, uint32_t top, uint32_t left, uint32_t height,
              uint32_t width, size_t slot)
        : Source(height, width, dng.samples, slot), dng_(dng), fixes_(std::move(fixes)), top_(top), left_(left) {}

private:
    bool produce(uint32_t top, uint32_t bottom, Worker& worker, float*& out, std::string& error) override {
        const uint32_t samples = dng_.samples, raw_width = dng_.width;
        const size_t raw_row = size_t(raw_width) * samples;
        const uint32_t first = top_ + top, end = top_ + bottom;  // rows of the stored raw data
        const size_t row = row_elements();
        LumraImage src{nullptr, bottom - top, width, channels, LUMRA_DTYPE_UINT16, 0};
        if (!dng_.raw_float.empty()) {  // float samples: no OpcodeList1 repairs (they are refused)
            const float* rows = dng_.raw_float.data() + first * raw_row;
            if (left_ != 0 || width != raw_width) {
                float* packed = room(worker.float_raw, slot, (bottom - top) * row);
                for (uint32_t r = 0; r < bottom - top; ++r)
                    std::memcpy(packed + r * row, rows + r * raw_row + size_t(left_) * samples, row * sizeof(float));
                rows = packed;
            }
            src.data = const_cast<float*>(rows);
            src.dtype = LUMRA_DTYPE_FLOAT32;
        } else {
            const uint16_t* rows = dng_.raw.data() + first * raw_row;
            if (!fixes_.empty() && !repair(first, end, worker, rows, error)) return false;
            if (left_ != 0 || width != raw_width) {
                uint16_t* packed = room(worker.words[1], slot, (bottom - top) * row);
                for (uint32_t r = 0; r < bottom - top; ++r)
                    std::memcpy(packed + r * row, rows + r * raw_row + size_t(left_) * samples, row * sizeof(uint16_t));
                rows = packed;
            }
            src.data = const_cast<uint16_t*>(rows);
        }
        if (!out) out = room(worker.floats, slot, (bottom - top) * row);
        LumraImage dst{out, bottom - top, width, channels, LUMRA_DTYPE_FLOAT32, 0};
        const LumraRegion region = band_region(top, height, width);
        return check(lumra_normalize_raw_region(&src, &dst, &region, dng_.black_levels.data(),
                                                int32_t(dng_.black_repeat_rows), int32_t(dng_.black_repeat_cols),
                                                int32_t(dng_.samples), dng_.white_levels.data(),
                                                int32_t(dng_.white_levels.size()),
                                                dng_.black_delta_h.empty() ? nullptr : dng_.black_delta_h.data(),
                                                int32_t(dng_.black_delta_h.size()),
                                                dng_.black_delta_v.empty() ? nullptr : dng_.black_delta_v.data(),
                                                int32_t(dng_.black_delta_v.size()),
                                                dng_.linearization.empty() ? nullptr : dng_.linearization.data(),
                                                int32_t(dng_.linearization.size())),
                     "normalisation", error);
    }

    // The bad-pixel repairs out of place, each reading two rows around the
    // rows it repairs from the previous one's result, so that no band needs
    // another's: the repairs of raw rows [first, end) of the stored image,
    // returned in `rows`.
    bool repair(uint32_t first, uint32_t end, Worker& worker, const uint16_t*& rows, std::string& error) const {
        const uint32_t raw_height = dng_.height, raw_width = dng_.width;
        const auto grown = [&](size_t repairs_left, uint32_t& from, uint32_t& to) {
            const uint32_t reach = uint32_t(2 * repairs_left);
            from = first > reach ? first - reach : 0;
            to = uint32_t(std::min<uint64_t>(raw_height, uint64_t(end) + reach));
        };
        uint32_t in_from = 0, in_to = 0;
        grown(fixes_.size(), in_from, in_to);
        const uint16_t* in = dng_.raw.data() + size_t(in_from) * raw_width;
        for (size_t i = 0; i < fixes_.size(); ++i) {
            uint32_t from = 0, to = 0;
            grown(fixes_.size() - 1 - i, from, to);
            uint16_t* fixed = room(worker.words[0], slot * 2 + i % 2, size_t(to - from) * raw_width);
            std::memcpy(fixed, in + size_t(from - in_from) * raw_width, size_t(to - from) * raw_width * 2);
            const LumraImage src{const_cast<uint16_t*>(in), in_to - in_from, raw_width, 1, LUMRA_DTYPE_UINT16, 0};
            LumraImage dst{fixed, to - from, raw_width, 1, LUMRA_DTYPE_UINT16, 0};
            const LumraRegion src_region = band_region(in_from, raw_height, raw_width);
            const LumraRegion dst_region = band_region(from, raw_height, raw_width);
            if (!check(lumra_fix_bad_pixels_constant_region(&src, &src_region, &dst, &dst_region,
                                                            fixes_[i].bad_value, fixes_[i].phase),
                       "FixBadPixelsConstant", error))
                return false;
            in = fixed;
            in_from = from;
            in_to = to;
        }
        rows = in;
        return true;
    }

    const DngFile& dng_;
    std::vector<Fix> fixes_;
    uint32_t top_, left_;
};
// Demosaic of a mosaic source: each band reads the rows around it that the
// method reaches (one for bilinear, five for the edge-directed one). A
// worker's bands mostly follow each other down the image, so the mosaic rows
// a band shares with the worker's previous one are kept rather than made
// again.
class DemosaicSource final : public Source {
public:
    DemosaicSource(std::shared_ptr<Source> mosaic, const int* cfa, bool adaptive, size_t slot)
        : Source(mosaic->height, mosaic->width, 3, slot), mosaic_(std::move(mosaic)), adaptive_(adaptive) {
        std::copy_n(cfa, 4, cfa_);
    }

private:
    bool produce(uint32_t top, uint32_t bottom, Worker& worker, float*& out, std::string& error) override {
        const uint32_t reach = adaptive_ ? 5 : 1;
        const uint32_t from = top > reach ? top - reach : 0;
        const uint32_t to = uint32_t(std::min<uint64_t>(height, uint64_t(bottom) + reach));
        const float* mosaic = nullptr;
        if (!window(from, to, worker, mosaic, error)) return false;
        if (!out) out = room(worker.floats, slot, (bottom - top) * row_elements());
        const LumraImage src{const_cast<float*>(mosaic), to - from, width, 1, LUMRA_DTYPE_FLOAT32, 0};
        LumraImage dst{out, bottom - top, width, 3, LUMRA_DTYPE_FLOAT32, 0};
        const LumraRegion src_region = band_region(from, height, width), dst_region = band_region(top, height, width);
        const LumraStatus status = adaptive_
                                       ? lumra_adaptive_demosaic_region(&src, &src_region, &dst, &dst_region, cfa_)
                                       : lumra_bilinear_demosaic_region(&src, &src_region, &dst, &dst_region, cfa_);
        return check(status, "demosaic", error);
    }
    // Mosaic rows [from, to): those the worker's window holds at its end
    // move to the front, and only the rest are made.
    bool window(uint32_t from, uint32_t to, Worker& worker, const float*& rows, std::string& error) {
        if (worker.windows.size() <= slot) worker.windows.resize(slot + 1);
        RowWindow& w = worker.windows[slot];
        const size_t row = mosaic_->width;
        const uint32_t kept = w.top <= from && from < w.bottom && w.bottom <= to ? w.bottom - from : 0;
        if (w.rows.size() < (to - from) * row) {
            SampleVector<float> larger((to - from) * row);
            std::copy_n(w.rows.begin() + (from - w.top) * row * (kept != 0), kept * row, larger.begin());
            w.rows.swap(larger);
        } else if (kept != 0) {
            std::memmove(w.rows.data(), w.rows.data() + (from - w.top) * row, kept * row * sizeof(float));
        }
        w.top = w.bottom = from;  // nothing valid until the new rows are in
        if (from + kept < to && !mosaic_->rows_into(from + kept, to, worker, w.rows.data() + kept * row, error))
            return false;
        w.bottom = to;
        rows = w.rows.data();
        return true;
    }

    std::shared_ptr<Source> mosaic_;
    bool adaptive_;
    int32_t cfa_[4];
};

// Whether the edge-directed demosaic takes this CFA layout (it needs a Bayer
// arrangement); asked of the library on a 2 x 2 mosaic.
bool adaptive_takes(const int* cfa) {
    float mosaic[4] = {}, rgb[12];
    const LumraImage src{mosaic, 2, 2, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage dst{rgb, 2, 2, 3, LUMRA_DTYPE_FLOAT32, 0};
    return lumra_adaptive_demosaic(&src, &dst, cfa) != LUMRA_ERR_UNSUPPORTED;
}

// A stage that makes each band from the whole image before it (a warp).
class FromWholeSource final : public Source {
public:
    FromWholeSource(FloatImage source, FromWholeStep step, size_t slot)
        : Source(source.height, source.width, source.channels, slot), source_(std::move(source)),
          step_(std::move(step)) {}

private:
    bool produce(uint32_t top, uint32_t bottom, Worker& worker, float*& out, std::string& error) override {
        if (!out) out = room(worker.floats, slot, (bottom - top) * row_elements());
        LumraImage band{out, bottom - top, width, channels, LUMRA_DTYPE_FLOAT32, 0};
        return step_(source_, band, top, error);
    }
    FloatImage source_;
    FromWholeStep step_;
};

// White balance clip and camera matrix into linear ProPhoto RGB.
class CameraSource final : public Source {
public:
    CameraSource(std::shared_ptr<Source> camera, const ColorSetup& color, size_t slot)
        : Source(camera->height, camera->width, 3, slot), camera_(std::move(camera)) {
        for (int i = 0; i < 3; ++i) clip_[i] = float(color.neutral[i]);
        for (int i = 0; i < 9; ++i) matrix_[i] = float(color.camera_to_prophoto[i]);
    }

    // Each piece of the camera image goes through the matrix and this
    // source's steps without leaving the cache.
    bool pieces(uint32_t top, uint32_t bottom, uint32_t piece, Worker& worker, const PieceUse& use,
                std::string& error) override {
        const PieceUse convert = [&](const float* in, uint32_t first, uint32_t end, std::string& e) {
            float* out = room(worker.floats, slot, (end - first) * row_elements());
            return transform(in, out, end - first, e) && run_steps(out, first, end, e) && use(out, first, end, e);
        };
        return camera_->pieces(top, bottom, piece, worker, convert, error);
    }

private:
    bool produce(uint32_t top, uint32_t bottom, Worker& worker, float*& out, std::string& error) override {
        const float* in = nullptr;
        if (!camera_->rows(top, bottom, worker, in, error)) return false;
        if (!out) out = room(worker.floats, slot, (bottom - top) * row_elements());
        return transform(in, out, bottom - top, error);
    }
    bool transform(const float* in, float* out, uint32_t rows, std::string& error) const {
        LumraImage src{const_cast<float*>(in), rows, width, 3, LUMRA_DTYPE_FLOAT32, 0};
        LumraImage dst{out, rows, width, 3, LUMRA_DTYPE_FLOAT32, 0};
        return check(lumra_clip_and_transform_color(&src, &dst, clip_, matrix_), "camera to ProPhoto", error);
    }
    std::shared_ptr<Source> camera_;
    float clip_[3], matrix_[9];
};

// Builds the chain of sources, keeping a whole image only where a stage
// needs one, and runs the passes over bands.
class Streamer {
public:
    Streamer(const DevelopOptions& options, StageClock& clock)
        : pool_(options.threads), band_rows_(options.band_rows), piece_rows_(options.piece_rows), clock_(clock) {}

    unsigned threads() const { return pool_.threads(); }
    size_t next_slot(size_t count = 1) {
        const size_t slot = slots_;
        slots_ += count;
        return slot;
    }

    // Adds a stage: its band form joins the current source; a stage that
    // reads the whole image before it makes that image whole and becomes the
    // source of the bands; any other stage makes the image so far whole and
    // runs on it.
    bool add(std::shared_ptr<Source>& source, const FloatStep& step, std::string& error) {
        if (step.band) {
            source->steps.push_back(step);
            return true;
        }
        if (step.from_whole) {
            FloatImage image;
            if (FloatImage* held = source->whole()) image = std::move(*held);
            else if (!materialize(*source, image, error)) return false;
            source = std::make_shared<FromWholeSource>(std::move(image), step.from_whole, next_slot());
            return true;
        }
        if (FloatImage* held = source->whole()) {
            if (!step.whole(*held, error)) return false;
            clock_.lap(step.name.c_str());
            return true;
        }
        FloatImage image;
        if (!materialize(*source, image, error)) return false;
        source.reset();  // frees any whole image it was made from
        if (!step.whole(image, error)) return false;
        clock_.lap(step.name.c_str());
        source = std::make_shared<WholeSource>(std::move(image), next_slot());
        return true;
    }

    // Runs task(top, bottom, worker) over the bands of an image of `height` rows.
    bool for_bands(uint32_t height, size_t bytes_per_row,
                   const std::function<bool(uint32_t, uint32_t, Worker&, std::string&)>& task, std::string& error) {
        const uint32_t rows = band_rows_ ? band_rows_ : default_band_rows(bytes_per_row);
        const size_t count = (size_t(height) + rows - 1) / rows;
        workers_.resize(pool_.threads());
        return pool_.run(
            count,
            [&](size_t index, unsigned worker, std::string& e) {
                const uint32_t top = uint32_t(index * rows);
                return task(top, uint32_t(std::min<uint64_t>(height, uint64_t(top) + rows)), workers_[worker], e);
            },
            error);
    }

    size_t bytes_per_row(uint32_t width) const {
        // Raw window and copies, mosaic and demosaiced rows (the later
        // stages work on pieces of the band).
        return size_t(width) * (3 * sizeof(uint16_t) + sizeof(float) + 3 * sizeof(float));
    }

    // Rows of the pieces that pass from stage to stage within a band: by
    // default about 65536 pixels (768 KiB of float RGB), which stay in the
    // L2 cache through the per-pixel stages; each call's set-up (the output
    // curves' padded copies, for one) is spread over that many pixels.
    uint32_t piece_rows(uint32_t width) const {
        if (piece_rows_) return piece_rows_;
        return uint32_t(std::max<uint32_t>(65536 / std::max<uint32_t>(width, 1), 1));
    }

private:
    bool materialize(Source& source, FloatImage& image, std::string& error) {
        image = FloatImage(source.height, source.width, source.channels);
        const size_t row = size_t(source.width) * source.channels;
        const bool ok = for_bands(
            source.height, bytes_per_row(source.width),
            [&](uint32_t top, uint32_t bottom, Worker& worker, std::string& e) {
                return source.pieces(top, bottom, piece_rows(source.width), worker,
                                     [&](const float* rows, uint32_t first, uint32_t end, std::string&) {
                                         std::memcpy(image.data.get() + first * row, rows,
                                                     (end - first) * row * sizeof(float));
                                         return true;
                                     },
                                     e);
            },
            error);
        clock_.lap("bands to a whole image");
        return ok;
    }

    BandPool pool_;
    uint32_t band_rows_, piece_rows_;
    std::vector<Worker> workers_;
    size_t slots_ = 0;
    StageClock& clock_;
};

// Whether OpcodeList1 holds only constant bad-pixel repairs, which run on
// bands; the other opcodes there rewrite the stored data or its layout.
bool list1_runs_on_bands(const std::vector<Opcode>& list, const DngFile& dng) {
    for (const Opcode& op : list)
        if (!std::holds_alternative<FixBadPixelsConstantOp>(op.body) || dng.samples != 1 || !dng.raw_float.empty())
            return false;
    return true;
}

// lumra numbers the phases with green on even sites; DNG's with red at the
// top-left, so the two differ in the lowest bit.
RawSource::Fix fix_of(const FixBadPixelsConstantOp& op) {
    return {uint16_t(op.constant), int32_t((op.bayer_phase & 3u) ^ 1u)};
}

bool repairs(const FixBadPixelsConstantOp& op, const DevelopOptions& options) {
    return !options.skip.count("bad-pixels") && op.constant <= 65535;
}

// The constant bad-pixel repairs of an OpcodeList1 that runs on bands.
std::vector<RawSource::Fix> band_fixes(const std::vector<Opcode>& list, const DevelopOptions& options) {
    std::vector<RawSource::Fix> fixes;
    for (const Opcode& op : list)
        if (const auto* fix = std::get_if<FixBadPixelsConstantOp>(&op.body); fix && repairs(*fix, options))
            fixes.push_back(fix_of(*fix));
    return fixes;
}

// OpcodeList1 on the whole of the stored values, in order; the constant
// bad-pixel repairs out of place, as on bands.
bool run_list1(const std::vector<Opcode>& list, DngFile& dng, const DevelopOptions& options, DevelopReport& report,
               std::string& error) {
    OpcodeContext context{options, report, "OpcodeList1", &dng};
    for (const Opcode& op : list) {
        const auto* fix = std::get_if<FixBadPixelsConstantOp>(&op.body);
        if (!dng.raw_float.empty()) {  // the list's opcodes act on stored integers
            if (!refuse_opcode(op, context, error)) return false;
            continue;
        }
        if (!fix || dng.samples != 1) {
            if (!run_raw_opcode(op, dng, context, error)) return false;
            continue;
        }
        if (!repairs(*fix, options)) continue;
        const RawSource::Fix f = fix_of(*fix);
        std::vector<uint16_t> fixed = dng.raw;
        LumraImage src{dng.raw.data(), dng.height, dng.width, 1, LUMRA_DTYPE_UINT16, 0};
        LumraImage dst{fixed.data(), dng.height, dng.width, 1, LUMRA_DTYPE_UINT16, 0};
        if (!check(lumra_fix_bad_pixels_constant(&src, &dst, f.bad_value, f.phase), "FixBadPixelsConstant", error))
            return false;
        dng.raw.swap(fixed);
    }
    return true;
}

bool has_trim(const std::vector<Opcode>& list) {
    for (const Opcode& op : list)
        if (std::holds_alternative<TrimBoundsOp>(op.body)) return true;
    return false;
}

FloatStep hue_sat_step(const std::vector<float>& table, const std::vector<uint32_t>& dims, uint32_t encoding,
                       const char* name, DevelopReport& report) {
    if (encoding > 1 && dims[2] > 1)
        report.warnings.push_back(std::string(name) + " uses an unknown value encoding; applying it linearly");
    BandStep band;
    if (encoding == 1 && dims[2] > 1) {  // value axis indexed in sRGB-encoded values
        band = [&table, &dims](LumraImage& view, uint32_t, uint32_t, std::string&) {
            apply_hue_sat_map_encoded(static_cast<float*>(view.data), size_t(view.height) * view.width, table.data(),
                                      int(dims[0]), int(dims[1]), int(dims[2]), true);
            return true;
        };
    } else {
        band = [&table, &dims, name](LumraImage& view, uint32_t, uint32_t, std::string& error) {
            return check(lumra_apply_hue_sat_map(&view, table.data(), int32_t(dims[0]), int32_t(dims[1]),
                                                 int32_t(dims[2])),
                         name, error);
        };
    }
    return {name,
            [band](FloatImage& image, std::string& error) {
                LumraImage view = image.view();
                return band(view, 0, image.height, error);
            },
            band,
            {}};
}

struct OutputTables {
    std::vector<float> curve, encode;
    float matrix[9];
};

OutputTables output_tables(const ColorProfile& profile, const DevelopOptions& options) {
    OutputTables t;
    const bool tone = !profile.tone_curve.empty() && !options.skip.count("tone-curve");
    t.curve = tone ? tone_curve_table(profile.tone_curve) : identity_table();
    t.encode = output_encode_table(options.space);
    const Mat3 m = prophoto_to_output(options.space);
    for (int i = 0; i < 9; ++i) t.matrix[i] = float(m[i]);
    return t;
}

bool develop_steps(const DngFile& input, const ColorProfile& profile, const DevelopOptions& options,
                   DevelopedImage& out, DevelopReport& report, std::string& error) {
    StageClock clock(report);
    std::vector<Opcode> list1, list2, list3;
    ColorSetup color;
    if (!parse_list(input.opcode_list1, "OpcodeList1", list1, error) ||
        !parse_list(input.opcode_list2, "OpcodeList2", list2, error) ||
        !parse_list(input.opcode_list3, "OpcodeList3", list3, error) || !setup_color(input, profile, color, error))
        return false;
    const size_t stored = input.raw_float.empty() ? input.raw.size() : input.raw_float.size();
    if (stored != size_t(input.height) * input.width * input.samples) {
        error = "has raw data of the wrong size";
        return false;
    }
    // The file is copied only for opcodes that change it: those of
    // OpcodeList1 other than the constant bad-pixel repair rewrite the stored
    // values, and TrimBounds moves the CFA pattern and crop.
    const bool list1_on_bands = list1_runs_on_bands(list1, input);
    std::optional<DngFile> copy;
    if (!list1_on_bands || has_trim(list2) || has_trim(list3)) copy.emplace(input);
    DngFile* changed = copy ? &*copy : nullptr;
    const DngFile& dng = copy ? *copy : input;
    std::vector<RawSource::Fix> fixes;
    if (list1_on_bands) fixes = band_fixes(list1, options);
    else if (!run_list1(list1, *changed, options, report, error)) return false;
    uint32_t top = 0, left = 0, height = dng.height, width = dng.width;
    if (dng.active_area[2] != 0) {
        top = dng.active_area[0];
        left = dng.active_area[1];
        if (dng.active_area[2] > dng.height || dng.active_area[3] > dng.width || dng.active_area[2] < top ||
            dng.active_area[3] < left) {
            error = "has an ActiveArea outside the image";
            return false;
        }
        height = dng.active_area[2] - top;
        width = dng.active_area[3] - left;
    }
    std::vector<FloatStep> steps2, steps3;
    OpcodeContext context2{options, report, "OpcodeList2", changed};
    if (!plan_float_opcodes(list2, context2, steps2, dng.samples, error)) return false;
    OpcodeContext context3{options, report, "OpcodeList3", changed};
    if (!plan_float_opcodes(list3, context3, steps3, 3, error)) return false;
    const OutputTables tables = output_tables(profile, options);
    clock.lap("set-up");

    Streamer streamer(options, clock);
    std::shared_ptr<Source> source = std::make_shared<RawSource>(dng, std::move(fixes), top, left, height, width,
                                                                 streamer.next_slot());
    for (const FloatStep& step : steps2)
        if (!streamer.add(source, step, error)) return false;
    if (dng.samples == 1) {
        // After list 2, whose TrimBounds may move the CFA pattern.
        bool adaptive = options.demosaic == DemosaicMethod::adaptive;
        if (adaptive && !adaptive_takes(dng.cfa)) {
            report.warnings.push_back("the CFA layout is not a Bayer arrangement; demosaicing bilinearly");
            adaptive = false;
        }
        source = std::make_shared<DemosaicSource>(source, dng.cfa, adaptive, streamer.next_slot());
    }
    for (const FloatStep& step : steps3)
        if (!streamer.add(source, step, error)) return false;
    source = std::make_shared<CameraSource>(source, color, streamer.next_slot());
    if (!color.hue_sat.empty() && !options.skip.count("hue-sat-map"))
        source->steps.push_back(
            hue_sat_step(color.hue_sat, profile.hue_sat_dims, profile.hue_sat_encoding, "ProfileHueSatMap", report));
    if (color.exposure_ev != 0.0 && !options.skip.count("exposure")) {
        const double white = std::exp2(-color.exposure_ev);
        BandStep band = [white](LumraImage& view, uint32_t, uint32_t, std::string& e) {
            return check(lumra_apply_exposure_ramp(&view, &view, white, 0.0, 0.0, false), "exposure ramp", e);
        };
        source->steps.push_back({"baseline exposure", {}, band, {}});
    }
    GainTableMap gain_table;
    if (!profile.gain_table_map.empty() && !options.skip.count("gain-table-map")) {
        if (!gain_table.parse(profile.gain_table_map, error)) return false;
        source->steps.push_back({"profile gain table map", {},
                                 [&gain_table](LumraImage& band, uint32_t band_top, uint32_t full_height,
                                               std::string& e) { return gain_table.apply(band, band_top, full_height, e); },
                                 {}});
    }
    if (!profile.look_data.empty() && !options.skip.count("look-table")) {
        const FloatStep step =
            hue_sat_step(profile.look_data, profile.look_dims, profile.look_encoding, "ProfileLookTable", report);
        if (!streamer.add(source, step, error)) return false;
    }

    // Tone curve and output encoding, band by band into the output image
    // (whose size a TrimBounds may have changed).
    height = source->height;
    width = source->width;
    out.width = width;
    out.height = height;
    out.bits = options.bits;
    out.space = options.space;
    const size_t elements = size_t(width) * height * 3;
    LumraImage dst{nullptr, 0, width, 3, LUMRA_DTYPE_UINT8, 0};
    size_t element_size = 1;
    if (options.bits == 16) {
        out.rgb16.resize(elements);
        dst.data = out.rgb16.data();
        dst.dtype = LUMRA_DTYPE_UINT16;
        element_size = 2;
    } else {
        out.rgb8.resize(elements);
        dst.data = out.rgb8.data();
    }
    const bool ok = streamer.for_bands(
        height, streamer.bytes_per_row(width),
        [&](uint32_t band_top, uint32_t band_bottom, Worker& worker, std::string& e) {
            const PieceUse encode = [&](const float* rows, uint32_t first, uint32_t end, std::string& piece_error) {
                LumraImage src{const_cast<float*>(rows), end - first, width, 3, LUMRA_DTYPE_FLOAT32, 0};
                LumraImage piece = dst;
                piece.data = static_cast<uint8_t*>(dst.data) + size_t(first) * width * 3 * element_size;
                piece.height = end - first;
                return check(lumra_transform_color(&src, &piece, tables.curve.data(), tables.curve.size(),
                                                   tables.matrix, tables.encode.data(), tables.encode.size(), 0, 0,
                                                   true),
                             "output encoding", piece_error);
            };
            return source->pieces(band_top, band_bottom, streamer.piece_rows(width), worker, encode, e);
        },
        error);
    if (!ok) return false;
    clock.lap(("bands to the output (" + std::to_string(streamer.threads()) + " threads)").c_str());
    apply_output_geometry(dng, out, report.warnings);
    clock.lap("crop and orientation");
    return true;
}

}  // namespace

#if defined(__linux__)
namespace {
constexpr size_t kHugePage = size_t{2} << 20;
// Below a few huge pages the faults saved are not worth the rounding.
bool on_huge_pages(size_t bytes) { return bytes >= 4 * kHugePage && bytes <= SIZE_MAX / 2; }
size_t huge_length(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
}  // namespace

// A mapping of its own, aligned to a huge page: a huge page is only used for
// an aligned 2 MiB range.
void* allocate_samples(size_t bytes) {
    if (!on_huge_pages(bytes)) return ::operator new(bytes);
    const size_t length = huge_length(bytes);
    void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned != start) munmap(mapped, aligned - start);
    if (aligned + length != start + length + kHugePage)
        munmap(reinterpret_cast<void*>(aligned + length), start + kHugePage - aligned);
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // a hint: without it, plain pages
    return reinterpret_cast<void*>(aligned);
}

void free_samples(void* data, size_t bytes) noexcept {
    if (!on_huge_pages(bytes)) return ::operator delete(data);
    munmap(data, huge_length(bytes));
}
#else
void* allocate_samples(size_t bytes) { return ::operator new(bytes); }
void free_samples(void* data, size_t) noexcept { ::operator delete(data); }
#endif

const std::vector<std::pair<std::string, std::string>>& skippable_stages() {
    static const std::vector<std::pair<std::string, std::string>> stages = {
        {"bad-pixels", "FixBadPixelsConstant and FixBadPixelsList repair"},
        {"map-table", "MapTable (any opcode list)"},
        {"deltas", "DeltaPerRow/Column and ScalePerRow/Column (any opcode list)"},
        {"gain-map", "GainMap lens shading (OpcodeList2 and 3)"},
        {"polynomial", "MapPolynomial (OpcodeList2 and 3)"},
        {"warp", "WarpRectilinear distortion correction (OpcodeList3)"},
        {"vignette", "FixVignetteRadial (OpcodeList3)"},
        {"hue-sat-map", "ProfileHueSatMap"},
        {"exposure", "BaselineExposure"},
        {"gain-table-map", "ProfileGainTableMap"},
        {"look-table", "ProfileLookTable"},
        {"tone-curve", "ProfileToneCurve"},
    };
    return stages;
}

bool develop(const DngFile& input, const ColorProfile& profile, const DevelopOptions& options, DevelopedImage& out,
             DevelopReport& report, std::string& error) {
    try {
        return develop_steps(input, profile, options, out, report, error);
    } catch (const std::bad_alloc&) {
        error = "is too large to develop in the available memory";
        return false;
    }
}

}  // namespace lumra_tools
