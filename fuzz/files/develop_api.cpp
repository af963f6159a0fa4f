// liblumra-develop's C interface, as the Python package and its batches call
// it: a handle, options set from fuzzed names and values, then a development
// of a fuzzed DNG path into memory or into a file, sometimes twice on the same
// handle. Checks what the header promises: every status is one of the four;
// a failure has a message and leaves the image description untouched and no
// file behind; a success describes pixels that can all be read (or leaves the
// one output file), with no message; a refused option leaves the format as it was.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "lumra_develop.h"
#include "support/entry_harness.h"
#include "support/memory_file.h"

namespace {

// A directory of this process's own for the outputs, emptied after each run
// and removed at exit.
const std::string& output_dir() {
    static std::string dir;
    if (dir.empty()) {
        char name[] = "/tmp/lumra-fuzz-develop-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        dir = name;
        std::atexit([] { rmdir(dir.c_str()); });
    }
    return dir;
}

// Counts the files in the output directory, removing each.
int empty_output_dir() {
    int count = 0;
    DIR* dir = opendir(output_dir().c_str());
    if (!dir) std::abort();
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        ++count;
        std::remove((output_dir() + "/" + entry->d_name).c_str());
    }
    closedir(dir);
    return count;
}

bool known_status(LumraDevelopStatus status) {
    return status == LUMRA_DEVELOP_OK || status == LUMRA_DEVELOP_ERR_ARGUMENT || status == LUMRA_DEVELOP_ERR_OPTION ||
           status == LUMRA_DEVELOP_ERR_FAILED;
}

void check_message(const LumraDevelop* handle, LumraDevelopStatus status, const char* call) {
    if (!known_status(status)) lumra_fuzz::fail("%s gave status %d", call, int(status));
    const char* error = lumra_develop_error(handle);
    if (!error) lumra_fuzz::fail("%s left a null error text", call);
    if (status == LUMRA_DEVELOP_OK && *error) lumra_fuzz::fail("%s succeeded with the error '%s'", call, error);
    if (status != LUMRA_DEVELOP_OK && !*error) lumra_fuzz::fail("%s failed (%d) without a message", call, int(status));
}

// Reads every byte the description covers, so AddressSanitizer sees a short buffer.
void check_image(const LumraDevelopImage& image) {
    if (!image.data || image.width == 0 || image.height == 0 || image.channels != 3 ||
        (image.bits != 8 && image.bits != 16))
        lumra_fuzz::fail("a development described %u x %u x %u at %d bits (data %p)", image.width, image.height,
                         image.channels, image.bits, image.data);
    const size_t bytes = size_t(image.width) * image.height * image.channels * size_t(image.bits / 8);
    const auto* p = static_cast<const volatile uint8_t*>(image.data);
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += p[i];
    (void)sum;
}

void set_options(FuzzedDataProvider& bytes, LumraDevelop* handle, const std::string& dcp_path) {
    static const char* const names[] = {"bits", "format", "quality", "space",  "demosaic",
                                        "threads", "skip", "dcp",     "",       "bits "};
    const int count = bytes.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < count; ++i) {
        const std::string name = bytes.ConsumeBool() ? names[bytes.ConsumeIntegralInRange<size_t>(0, 9)]
                                                     : bytes.ConsumeRandomLengthString(12);
        std::string value = bytes.ConsumeRandomLengthString(16);
        // The fuzzed file as the profile rather than a path into the machine's
        // own files, and no more threads than a small image can use.
        if (name == "dcp") value = dcp_path;
        if (name == "threads" && value.size() > 1) value.resize(1);
        const bool null_value = bytes.ConsumeIntegral<uint8_t>() >= 248;
        const std::string before = lumra_develop_output_extension(handle);
        const LumraDevelopStatus status =
            lumra_develop_set_option(handle, name.c_str(), null_value ? nullptr : value.c_str());
        check_message(handle, status, "lumra_develop_set_option");
        if (status != LUMRA_DEVELOP_OK && before != lumra_develop_output_extension(handle))
            lumra_fuzz::fail("a refused option --%s changed the output format", name.c_str());
    }
}

void develop_once(FuzzedDataProvider& bytes, LumraDevelop* handle, const std::string& input) {
    const bool null_input = bytes.ConsumeIntegral<uint8_t>() >= 250;
    if (bytes.ConsumeBool()) {
        const bool null_image = bytes.ConsumeIntegral<uint8_t>() >= 250;
        LumraDevelopImage image;
        std::memset(&image, 0xA5, sizeof image);
        const LumraDevelopImage before = image;
        const LumraDevelopStatus status = lumra_develop_to_buffer(handle, null_input ? nullptr : input.c_str(),
                                                                  null_image ? nullptr : &image);
        check_message(handle, status, "lumra_develop_to_buffer");
        if ((null_input || null_image) && status != LUMRA_DEVELOP_ERR_ARGUMENT)
            lumra_fuzz::fail("lumra_develop_to_buffer took a null argument (status %d)", int(status));
        if (status == LUMRA_DEVELOP_OK) {
            check_image(image);
        } else if (std::memcmp(&image, &before, sizeof image) != 0) {
            lumra_fuzz::fail("a failed lumra_develop_to_buffer changed the image description");
        }
    } else {
        const bool onto_input = bytes.ConsumeIntegral<uint8_t>() >= 240;
        const std::string output =
            onto_input ? input : output_dir() + "/out" + lumra_develop_output_extension(handle);
        const LumraDevelopStatus status =
            lumra_develop_to_file(handle, null_input ? nullptr : input.c_str(), output.c_str());
        check_message(handle, status, "lumra_develop_to_file");
        if (null_input && status != LUMRA_DEVELOP_ERR_ARGUMENT)
            lumra_fuzz::fail("lumra_develop_to_file took a null input (status %d)", int(status));
        if (onto_input && !null_input && status == LUMRA_DEVELOP_OK)
            lumra_fuzz::fail("lumra_develop_to_file wrote over its input");
        const int left = empty_output_dir();
        const int expected = status == LUMRA_DEVELOP_OK && !onto_input ? 1 : 0;
        if (left != expected)
            lumra_fuzz::fail("lumra_develop_to_file (status %d) left %d files, not %d", int(status), left, expected);
    }
    if (!lumra_develop_warnings(handle) || !lumra_develop_report(handle))
        lumra_fuzz::fail("a development left a null warnings or report text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first 32 bytes (or fewer) choose the calls; the rest is the DNG.
    const size_t head = size < 32 ? size : 32;
    FuzzedDataProvider bytes(data, head);
    const lumra_fuzz::MemoryFile file(data + head, size - head);
    LumraDevelop* handle = lumra_develop_new();
    if (!handle) lumra_fuzz::fail("lumra_develop_new gave null");
    set_options(bytes, handle, file.path());
    develop_once(bytes, handle, file.path());
    if (bytes.ConsumeBool()) {
        set_options(bytes, handle, file.path());
        develop_once(bytes, handle, file.path());
    }
    lumra_develop_free(handle);
    return 0;
}
