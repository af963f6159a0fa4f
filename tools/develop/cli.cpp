#include "develop/cli.h"

#include "develop/image_output.h"
#include "develop/output_space.h"
#include "develop/pipeline.h"
#include "dng/dng_reader.h"

#include <lumra.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <sstream>

namespace lumra_tools {
namespace {

namespace fs = std::filesystem;

struct Command {
    std::string input, output, dcp;
    DevelopOptions develop;
    bool verbose = false, help = false, version = false;
    bool format_given = false;
    FileFormat format = FileFormat::png;
    WriteOptions write;
};

void print_help(std::ostream& out) {
    out << "Usage: lumra-develop [OPTIONS] [INPUT.dng]\n"
           "Develops a DNG (2x2 CFA or linear raw; lossless JPEG, deflate or uncompressed).\n"
           "Without INPUT it develops the bundled sample into lumra-develop.png.\n"
           "The output is cropped to the DNG's default (and user) crop, turned by its\n"
           "Orientation, and carries the ICC profile of its colour space.\n\n"
           "Options:\n"
           "  -o, --output FILE   output file (default: INPUT with .png, .tif or .jpg)\n"
           "  --bits 8|16         bits per sample of the output (default 8; TIFF is always 16,\n"
           "                      JPEG always 8)\n"
           "  --format png|tiff|jpeg  output format (default: from the output name\n"
           "                      (.png, .tif/.tiff, .jpg/.jpeg), else png)\n"
           "  --quality N         JPEG quality, 1 to 100 (default 92)\n"
           "  --space srgb|display-p3|prophoto  output colour space and curve (default srgb)\n"
           "  --dcp FILE          take the colour profile from a DNG camera profile file\n"
           "  --demosaic adaptive|bilinear  edge-directed or bilinear demosaic (default adaptive)\n"
           "  --skip STAGE[,..]   switch off a stage (repeatable); stages:\n";
    for (const auto& [name, what] : skippable_stages()) out << "      " << std::left << std::setw(16) << name << what << "\n";
    out << "  -v, --verbose       print each stage with its time\n"
           "  --version           print the versions of lumra-develop and liblumra\n"
           "  -h, --help          print this help\n";
}

bool parse(const std::vector<std::string>& args, Command& c, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") c.help = true;
        else if (a == "--version") c.version = true;
        else if (a == "-v" || a == "--verbose") c.verbose = true;
        else if (a == "-o" || a == "--output") { if (!value(c.output)) return false; }
        else if (a == "--dcp") { if (!value(c.dcp)) return false; }
        else if (a == "--bits") {
            if (!value(v)) return false;
            if (v != "8" && v != "16") { error = "--bits takes 8 or 16, not " + v; return false; }
            c.develop.bits = std::stoi(v);
        } else if (a == "--format") {
            if (!value(v)) return false;
            if (v != "png" && v != "tiff" && v != "jpeg") { error = "--format takes png, tiff or jpeg, not " + v; return false; }
            c.format = v == "png" ? FileFormat::png : v == "tiff" ? FileFormat::tiff : FileFormat::jpeg;
            c.format_given = true;
        } else if (a == "--space") {
            if (!value(v)) return false;
            if (!parse_output_space(v, c.develop.space)) { error = "--space takes " + output_space_names() + ", not " + v; return false; }
        } else if (a == "--quality") {
            if (!value(v)) return false;
            char* end = nullptr;
            const long q = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || q < 1 || q > 100) { error = "--quality takes a number from 1 to 100, not " + v; return false; }
            c.write.jpeg_quality = int(q);
        } else if (a == "--demosaic") {
            if (!value(v)) return false;
            if (v != "adaptive" && v != "bilinear") {
                error = "--demosaic takes adaptive or bilinear, not " + v;
                return false;
            }
            c.develop.demosaic = v == "adaptive" ? DemosaicMethod::adaptive : DemosaicMethod::bilinear;
        } else if (a == "--skip") {
            if (!value(v)) return false;
            std::stringstream list(v);
            for (std::string stage; std::getline(list, stage, ',');) {
                bool known = false;
                for (const auto& s : skippable_stages()) known = known || s.first == stage;
                if (!known) { error = "unknown stage '" + stage + "' for --skip (see --help)"; return false; }
                c.develop.skip.insert(stage);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a + " (see --help)";
            return false;
        } else if (c.input.empty()) {
            c.input = a;
        } else {
            error = "more than one input file given";
            return false;
        }
    }
    return true;
}

std::string extension(const std::string& path) {
    std::string e = fs::path(path).extension().string();
    for (char& ch : e) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return e;
}

void settle_output(Command& c, bool sample) {
    if (!c.format_given && !c.output.empty()) {
        const std::string e = extension(c.output);
        if (e == ".tif" || e == ".tiff") c.format = FileFormat::tiff;
        if (e == ".jpg" || e == ".jpeg") c.format = FileFormat::jpeg;
    }
    if (c.format == FileFormat::tiff) c.develop.bits = 16;
    if (c.format == FileFormat::jpeg) c.develop.bits = 8;
    if (c.output.empty()) {
        const char* suffix = c.format == FileFormat::png ? ".png" : c.format == FileFormat::jpeg ? ".jpg" : ".tif";
        c.output = sample ? std::string("lumra-develop") + suffix : fs::path(c.input).replace_extension(suffix).string();
    }
}

int fail(std::ostream& err, const std::string& file, const std::string& problem) {
    err << "lumra-develop: " << file << ": " << problem << "\n";
    return 1;
}

}  // namespace

std::string find_sample_dng() {
    std::error_code ec;
#ifdef LUMRA_SAMPLE_DNG
    if (fs::is_regular_file(LUMRA_SAMPLE_DNG, ec)) return LUMRA_SAMPLE_DNG;
#endif
    const fs::path beside = fs::read_symlink("/proc/self/exe", ec).parent_path() / "lumra-sample.dng";
    if (!ec && fs::is_regular_file(beside, ec)) return beside.string();
    return {};
}

namespace {

int run_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Command c;
    std::string error;
    if (!parse(args, c, error)) {
        err << "lumra-develop: " << error << "\n";
        return 2;
    }
    if (c.help) {
        print_help(out);
        return 0;
    }
    if (c.version) {
        out << "lumra-develop with liblumra " << lumra_version() << "\n";
        return 0;
    }
    const bool sample = c.input.empty();
    if (sample) {
        c.input = find_sample_dng();
        if (c.input.empty()) return fail(err, "lumra-sample.dng", "the bundled sample cannot be found");
    }
    settle_output(c, sample);
    std::error_code ec;
    if (fs::exists(c.output, ec) && fs::equivalent(c.input, c.output, ec))
        return fail(err, c.output, "the output would overwrite the input");
    const auto start = std::chrono::steady_clock::now();
    DngFile dng;
    if (!read_dng(c.input, dng, error)) return fail(err, c.input, error);
    const double read_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ColorProfile profile = dng.profile;
    if (!c.dcp.empty() && !read_camera_profile(c.dcp, profile, error)) return fail(err, c.dcp, error);
    DevelopedImage image;
    DevelopReport report;
    const bool ok = develop(dng, profile, c.develop, image, report, error);
    for (const std::string& w : report.warnings) err << "lumra-develop: " << c.input << ": warning: " << w << "\n";
    if (!ok) return fail(err, c.input, error);
    const auto write_start = std::chrono::steady_clock::now();
    if (!write_image(c.output, c.format, image, error, c.write)) return fail(err, c.output, error);
    const double write_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - write_start).count();
    if (c.verbose) {
        out << std::fixed << std::setprecision(1);
        out << "lumra-develop: " << c.input << " (" << dng.width << " x " << dng.height << ", "
            << (dng.samples == 1 ? "CFA" : "linear raw") << ") -> " << c.output << "\n";
        out << "  " << std::left << std::setw(44) << "read DNG" << std::right << std::setw(9) << read_seconds * 1e3
            << " ms\n";
        double total = read_seconds + write_seconds;
        for (const StageTime& s : report.stages) {
            out << "  " << std::left << std::setw(44) << s.name << std::right << std::setw(9) << s.seconds * 1e3
                << " ms\n";
            total += s.seconds;
        }
        out << "  " << std::left << std::setw(44) << "write output" << std::right << std::setw(9)
            << write_seconds * 1e3 << " ms\n";
        out << "  " << std::left << std::setw(44) << "total" << std::right << std::setw(9) << total * 1e3 << " ms\n";
    }
    return 0;
}

}  // namespace

int run_develop_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return run_command(args, out, err);
    } catch (const std::exception& e) {
        // Only allocation failures can get here: report them like any problem.
        err << "lumra-develop: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace lumra_tools
