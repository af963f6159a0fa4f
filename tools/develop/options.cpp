#include "develop/options.h"

#include "develop/output_space.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <sstream>

namespace lumra_tools {
namespace {

bool set_bits(DevelopSettings& s, const std::string& v, std::string& error) {
    if (v != "8" && v != "16") {
        error = "--bits takes 8 or 16, not " + v;
        return false;
    }
    s.develop.bits = v == "8" ? 8 : 16;
    return true;
}

bool set_format(DevelopSettings& s, const std::string& v, std::string& error) {
    if (v != "png" && v != "tiff" && v != "jpeg") {
        error = "--format takes png, tiff or jpeg, not " + v;
        return false;
    }
    s.format = v == "png" ? FileFormat::png : v == "tiff" ? FileFormat::tiff : FileFormat::jpeg;
    s.format_given = true;
    return true;
}

bool set_space(DevelopSettings& s, const std::string& v, std::string& error) {
    if (!parse_output_space(v, s.develop.space)) {
        error = "--space takes " + output_space_names() + ", not " + v;
        return false;
    }
    return true;
}

bool set_quality(DevelopSettings& s, const std::string& v, std::string& error) {
    char* end = nullptr;
    const long q = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end || q < 1 || q > 100) {
        error = "--quality takes a number from 1 to 100, not " + v;
        return false;
    }
    s.write.jpeg_quality = int(q);
    return true;
}

bool set_demosaic(DevelopSettings& s, const std::string& v, std::string& error) {
    if (v != "adaptive" && v != "bilinear") {
        error = "--demosaic takes adaptive or bilinear, not " + v;
        return false;
    }
    s.develop.demosaic = v == "adaptive" ? DemosaicMethod::adaptive : DemosaicMethod::bilinear;
    return true;
}

bool set_dcp(DevelopSettings& s, const std::string& v, std::string&) {
    s.dcp = v;
    return true;
}

// The development's band pool and the PNG encoder share the count.
bool set_threads(DevelopSettings& s, const std::string& v, std::string& error) {
    const bool digits = !v.empty() && v.size() <= 4 && v.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(v) < 1 || std::stoi(v) > 1024) {
        error = "--threads takes a count from 1 to 1024, not " + v;
        return false;
    }
    s.develop.threads = unsigned(std::stoi(v));
    s.write.threads = s.develop.threads;
    return true;
}

// Repeatable: each use adds its stages. Every stage is checked before any is
// added, so a refused list changes nothing.
bool set_skip(DevelopSettings& s, const std::string& v, std::string& error) {
    std::vector<std::string> stages;
    std::stringstream list(v);
    for (std::string stage; std::getline(list, stage, ',');) {
        const auto& known = skippable_stages();
        if (std::none_of(known.begin(), known.end(), [&](const auto& k) { return k.first == stage; })) {
            error = "unknown stage '" + stage + "' for --skip (see --help)";
            return false;
        }
        stages.push_back(stage);
    }
    s.develop.skip.insert(stages.begin(), stages.end());
    return true;
}

}  // namespace

const std::vector<OptionSpec>& develop_option_table() {
    static const std::vector<OptionSpec> table = {
        {"bits", "8|16", "bits per sample of the output (default 8; TIFF is always 16,\nJPEG always 8)", set_bits},
        {"format", "png|tiff|jpeg",
         "output format (default: from the output name\n(.png, .tif/.tiff, .jpg/.jpeg), else png)", set_format},
        {"quality", "N", "JPEG quality, 1 to 100 (default 92)", set_quality},
        {"space", "srgb|display-p3|prophoto", "output colour space and curve (default srgb)", set_space},
        {"dcp", "FILE", "take the colour profile from a DNG camera profile file", set_dcp},
        {"demosaic", "adaptive|bilinear", "edge-directed or bilinear demosaic (default adaptive)", set_demosaic},
        {"threads", "N", "develop and encode on N threads (default: one per core)", set_threads},
        {"skip", "STAGE[,..]", "switch off a stage (repeatable); stages:", set_skip},
    };
    return table;
}

bool set_develop_option(DevelopSettings& settings, const std::string& name, const char* value, std::string& error) {
    for (const OptionSpec& option : develop_option_table()) {
        if (name != option.name) continue;
        if (!value) {
            error = "option --" + name + " needs a value";
            return false;
        }
        return option.apply(settings, value, error);
    }
    error = "unknown option --" + name + " (see --help)";
    return false;
}

std::string develop_options_help() {
    std::ostringstream out;
    for (const OptionSpec& option : develop_option_table()) {
        const std::string head = std::string("--") + option.name + " " + option.value;
        // Continuation lines of the help line up under its first line.
        std::string help = option.help;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
            help.insert(at + 1, 22, ' ');
        out << "  " << std::left << std::setw(19) << head << (head.size() < 19 ? " " : "  ") << help << "\n";
        if (std::string(option.name) == "skip")
            for (const auto& [stage, what] : skippable_stages())
                out << "      " << std::left << std::setw(16) << stage << what << "\n";
    }
    return out.str();
}

DevelopSettings settle_for_output(const DevelopSettings& settings, const std::string& output) {
    DevelopSettings s = settings;
    if (!s.format_given && !output.empty()) {
        std::string e = std::filesystem::path(output).extension().string();
        for (char& ch : e) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (e == ".tif" || e == ".tiff") s.format = FileFormat::tiff;
        if (e == ".jpg" || e == ".jpeg") s.format = FileFormat::jpeg;
    }
    if (s.format == FileFormat::tiff) s.develop.bits = 16;
    if (s.format == FileFormat::jpeg) s.develop.bits = 8;
    return s;
}

const char* output_extension(const DevelopSettings& settings) {
    return settings.format == FileFormat::png ? ".png" : settings.format == FileFormat::jpeg ? ".jpg" : ".tif";
}

}  // namespace lumra_tools
