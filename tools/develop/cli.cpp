// lumra-develop's command line: a shell over liblumra-develop's C interface.
#include "develop/cli.h"

#include "lumra_develop.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace lumra_tools {
namespace {

namespace fs = std::filesystem;

using Handle = std::unique_ptr<LumraDevelop, void (*)(LumraDevelop*)>;

struct Command {
    std::vector<std::string> inputs;
    std::string output;
    // The develop options as given, replayed into each worker's handle.
    std::vector<std::pair<std::string, std::string>> options;
    bool verbose = false, help = false, version = false;
};

void print_help(std::ostream& out) {
    out << "Usage: lumra-develop [OPTIONS] [INPUT.dng]\n"
           "       lumra-develop [OPTIONS] INPUT.dng... -o OUTDIR/\n"
           "Develops DNGs (2x2 CFA or linear raw; lossless JPEG, deflate or uncompressed).\n"
           "Without INPUT it develops the bundled sample into lumra-develop.png. Several inputs\n"
           "are developed at once on all cores into OUTDIR, each as its name with .png, .tif or .jpg;\n"
           "a file that fails gets its own line and the others go on.\n"
           "The output is cropped to the DNG's default (and user) crop, turned by its\n"
           "Orientation, and carries the ICC profile of its colour space.\n\n"
           "Options:\n"
           "  -o, --output FILE   output file, or a folder (ending in / or existing) for the outputs\n"
           "                      (default: INPUT with .png, .tif or .jpg)\n"
        << lumra_develop_options_help()
        << "  -v, --verbose       print each stage with its time\n"
           "  --version           print the versions of lumra-develop and liblumra\n"
           "  -h, --help          print this help\n";
}

bool parse(const std::vector<std::string>& args, Command& c, LumraDevelop* handle, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") c.help = true;
        else if (a == "--version") c.version = true;
        else if (a == "-v" || a == "--verbose") c.verbose = true;
        else if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return false;
            }
            c.output = args[++i];
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            const std::string name = a.substr(2);
            const char* value = i + 1 < args.size() ? args[++i].c_str() : nullptr;
            if (lumra_develop_set_option(handle, name.c_str(), value) != LUMRA_DEVELOP_OK) {
                error = lumra_develop_error(handle);
                return false;
            }
            c.options.emplace_back(name, value);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a + " (see --help)";
            return false;
        } else {
            c.inputs.push_back(a);
        }
    }
    return true;
}

struct Job {
    std::string input, output;
    std::string refusal;  // set when the job is refused before it runs
};

// Every line of text, each prefixed with the program name.
void print_lines(std::ostream& to, const std::string& text) {
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = text.find('\n', from);
        to << "lumra-develop: " << text.substr(from, end - from) << "\n";
        from = end == std::string::npos ? text.size() : end + 1;
    }
}

// Develops every job, on up to one thread per core when there are several;
// returns how many failed. Lines of different files never interleave.
size_t run_jobs(const Command& c, const std::vector<Job>& jobs, std::ostream& out, std::ostream& err) {
    std::atomic<size_t> next{0}, failed{0};
    std::mutex print;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t threads = std::min(cores, jobs.size());
    const bool parallel_files = threads > 1;
    const bool threads_given = std::any_of(c.options.begin(), c.options.end(),
                                           [](const auto& option) { return option.first == "threads"; });
    auto worker = [&] {
        Handle handle(lumra_develop_new(), lumra_develop_free);
        // Files already run side by side on every core: each develops on one
        // thread unless --threads asks otherwise.
        if (handle && parallel_files && !threads_given) lumra_develop_set_option(handle.get(), "threads", "1");
        for (const auto& [name, value] : c.options)
            if (handle) lumra_develop_set_option(handle.get(), name.c_str(), value.c_str());
        for (size_t k; (k = next++) < jobs.size();) {
            const Job& job = jobs[k];
            bool ok = false;
            std::string problem = job.refusal;
            if (!handle) {
                problem = job.input + ": out of memory";
            } else if (problem.empty()) {
                ok = lumra_develop_to_file(handle.get(), job.input.c_str(), job.output.c_str()) == LUMRA_DEVELOP_OK;
                problem = lumra_develop_error(handle.get());
            }
            std::lock_guard lock(print);
            if (handle && job.refusal.empty()) print_lines(err, lumra_develop_warnings(handle.get()));
            if (!ok) {
                print_lines(err, problem);
                ++failed;
            } else if (c.verbose) {
                out << "lumra-develop: " << lumra_develop_report(handle.get());
            }
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(worker);
        } catch (const std::system_error&) {
            break;  // fewer threads: the ones running take the rest
        }
    }
    worker();
    for (std::thread& t : helpers) t.join();
    return failed;
}

int run_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Command c;
    std::string error;
    Handle handle(lumra_develop_new(), lumra_develop_free);
    if (!handle) {
        err << "lumra-develop: out of memory\n";
        return 1;
    }
    if (!parse(args, c, handle.get(), error)) {
        err << "lumra-develop: " << error << "\n";
        return 2;
    }
    if (c.help) {
        print_help(out);
        return 0;
    }
    if (c.version) {
        out << "lumra-develop with liblumra " << lumra_develop_version() << "\n";
        return 0;
    }
    const std::string extension = lumra_develop_output_extension(handle.get());
    std::vector<Job> jobs;
    if (c.inputs.empty()) {
        const std::string sample = find_sample_dng();
        if (sample.empty()) {
            err << "lumra-develop: lumra-sample.dng: the bundled sample cannot be found\n";
            return 1;
        }
        jobs.push_back({sample, c.output.empty() ? "lumra-develop" + extension : c.output, {}});
    }
    std::error_code ec;
    const bool into_folder = c.inputs.size() > 1 || (!c.output.empty() && c.output.back() == '/') ||
                             (!c.output.empty() && fs::is_directory(c.output, ec));
    if (c.inputs.size() > 1 && c.output.empty()) {
        err << "lumra-develop: several inputs need a folder for the outputs: -o OUTDIR/\n";
        return 2;
    }
    if (into_folder && !fs::is_directory(c.output, ec) && !fs::create_directories(c.output, ec)) {
        err << "lumra-develop: " << c.output << ": " << ec.message() << "\n";
        return 1;
    }
    std::map<std::string, std::string> claimed;  // output -> the input that writes it
    for (const std::string& input : c.inputs) {
        Job job{input, {}, {}};
        if (into_folder) job.output = (fs::path(c.output) / fs::path(input).stem()).string() + extension;
        else job.output = c.output.empty() ? fs::path(input).replace_extension(extension).string() : c.output;
        const auto [first, fresh] = claimed.emplace(fs::absolute(job.output, ec).lexically_normal().string(), input);
        if (!fresh) job.refusal = input + ": " + job.output + " is the output of " + first->second + " already";
        jobs.push_back(job);
    }
    return run_jobs(c, jobs, out, err) ? 1 : 0;
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
