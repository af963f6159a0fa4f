// The C interface of liblumra-develop over read_dng, develop and write_image.
#include "lumra_develop.h"

#include "develop/options.h"
#include "dng/dng_reader.h"

#include <lumra.h>

#include <chrono>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <new>
#include <sstream>

struct LumraDevelop {
    lumra_tools::DevelopSettings settings;
    lumra_tools::DevelopedImage image;
    std::string error, warnings, report;
};

namespace {

using namespace lumra_tools;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void add_line(std::ostringstream& out, const std::string& name, double seconds) {
    out << "  " << std::left << std::setw(44) << name << std::right << std::setw(9) << seconds * 1e3 << " ms\n";
}

// Reads and develops input; on failure h.error holds "FILE: problem".
bool develop_file(LumraDevelop& h, const DevelopSettings& settings, const std::string& input,
                  const std::string& output, DevelopedImage& image) {
    const auto start = Clock::now();
    std::string error;
    DngFile dng;
    if (!read_dng(input, dng, error)) {
        h.error = input + ": " + error;
        return false;
    }
    const double read_seconds = seconds_since(start);
    ColorProfile profile = dng.profile;
    if (!settings.dcp.empty() && !read_camera_profile(settings.dcp, profile, error)) {
        h.error = settings.dcp + ": " + error;
        return false;
    }
    DevelopReport report;
    const bool ok = develop(dng, profile, settings.develop, image, report, error);
    for (const std::string& w : report.warnings) h.warnings += input + ": warning: " + w + "\n";
    if (!ok) {
        h.error = input + ": " + error;
        return false;
    }
    std::ostringstream text;
    text << std::fixed << std::setprecision(1);
    text << input << " (" << dng.width << " x " << dng.height << ", " << (dng.samples == 1 ? "CFA" : "linear raw")
         << ") -> " << (output.empty() ? "memory" : output) << "\n";
    add_line(text, "read DNG", read_seconds);
    for (const StageTime& s : report.stages) add_line(text, s.name, s.seconds);
    h.report = text.str();
    return true;
}

void finish_report(LumraDevelop& h, double write_seconds, double total_seconds) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(1);
    add_line(text, "write output", write_seconds);
    add_line(text, "total", total_seconds);
    h.report += text.str();
}

template <class Body>
LumraDevelopStatus guarded(LumraDevelop* h, Body body) noexcept {
    if (!h) return LUMRA_DEVELOP_ERR_ARGUMENT;
    try {
        h->error.clear();
        h->warnings.clear();
        h->report.clear();
        return body(*h);
    } catch (const std::bad_alloc&) {
        h->error = "out of memory";
    } catch (const std::exception& e) {
        h->error = e.what();
    } catch (...) {
        h->error = "unexpected failure";
    }
    return LUMRA_DEVELOP_ERR_FAILED;
}

LumraDevelopStatus refuse(LumraDevelop& h, const char* message) {
    h.error = message;
    return LUMRA_DEVELOP_ERR_ARGUMENT;
}

}  // namespace

extern "C" {

const char* lumra_develop_version(void) noexcept { return lumra_version(); }

LumraDevelop* lumra_develop_new(void) noexcept { return new (std::nothrow) LumraDevelop(); }

void lumra_develop_free(LumraDevelop* handle) noexcept { delete handle; }

LumraDevelopStatus lumra_develop_set_option(LumraDevelop* handle, const char* name, const char* value) noexcept {
    return guarded(handle, [&](LumraDevelop& h) -> LumraDevelopStatus {
        if (!name) return refuse(h, "option name is null");
        DevelopSettings next = h.settings;
        if (!set_develop_option(next, name, value, h.error)) return LUMRA_DEVELOP_ERR_OPTION;
        h.settings = std::move(next);
        return LUMRA_DEVELOP_OK;
    });
}

LumraDevelopStatus lumra_develop_to_buffer(LumraDevelop* handle, const char* input, LumraDevelopImage* image) noexcept {
    return guarded(handle, [&](LumraDevelop& h) -> LumraDevelopStatus {
        if (!input) return refuse(h, "input path is null");
        if (!image) return refuse(h, "image pointer is null");
        DevelopedImage result;
        if (!develop_file(h, settle_for_output(h.settings, {}), input, {}, result)) return LUMRA_DEVELOP_ERR_FAILED;
        h.image = std::move(result);
        image->data = h.image.bits == 16 ? static_cast<const void*>(h.image.rgb16.data()) : h.image.rgb8.data();
        image->height = h.image.height;
        image->width = h.image.width;
        image->channels = 3;
        image->bits = h.image.bits;
        return LUMRA_DEVELOP_OK;
    });
}

LumraDevelopStatus lumra_develop_to_file(LumraDevelop* handle, const char* input, const char* output) noexcept {
    return guarded(handle, [&](LumraDevelop& h) -> LumraDevelopStatus {
        if (!input) return refuse(h, "input path is null");
        if (!output) return refuse(h, "output path is null");
        const auto start = Clock::now();
        std::error_code ec;
        if (fs::exists(output, ec) && fs::equivalent(input, output, ec)) {
            h.error = std::string(output) + ": the output would overwrite the input";
            return LUMRA_DEVELOP_ERR_FAILED;
        }
        const DevelopSettings settings = settle_for_output(h.settings, output);
        DevelopedImage image;
        if (!develop_file(h, settings, input, output, image)) return LUMRA_DEVELOP_ERR_FAILED;
        const auto write_start = Clock::now();
        std::string error;
        if (!write_image(output, settings.format, image, error, settings.write)) {
            h.report.clear();
            h.error = std::string(output) + ": " + error;
            return LUMRA_DEVELOP_ERR_FAILED;
        }
        finish_report(h, seconds_since(write_start), seconds_since(start));
        return LUMRA_DEVELOP_OK;
    });
}

const char* lumra_develop_error(const LumraDevelop* handle) noexcept {
    return handle ? handle->error.c_str() : "null handle";
}

const char* lumra_develop_warnings(const LumraDevelop* handle) noexcept {
    return handle ? handle->warnings.c_str() : "";
}

const char* lumra_develop_report(const LumraDevelop* handle) noexcept {
    return handle ? handle->report.c_str() : "";
}

const char* lumra_develop_output_extension(const LumraDevelop* handle) noexcept {
    return handle ? output_extension(handle->settings) : ".png";
}

const char* lumra_develop_options_help(void) noexcept {
    // Built once; a constant text afterwards.
    static const std::string* help = [] {
        try {
            return new std::string(develop_options_help());
        } catch (...) {
            return static_cast<std::string*>(nullptr);
        }
    }();
    return help ? help->c_str() : "";
}

}  // extern "C"
