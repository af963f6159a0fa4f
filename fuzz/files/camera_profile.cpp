// read_camera_profile on any bytes: refuses with a reason or reads tables
// whose sizes agree with their dimensions.
#include "dng/dng_reader.h"
#include "support/entry_harness.h"
#include "support/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const lumra_fuzz::MemoryFile file(data, size);
    lumra_tools::ColorProfile profile;
    std::string error;
    if (!lumra_tools::read_camera_profile(file.path(), profile, error)) {
        if (error.empty()) lumra_fuzz::fail("read_camera_profile failed without a reason");
        return 0;
    }
    for (const auto* matrix : {&profile.color_matrix1, &profile.color_matrix2, &profile.forward_matrix1,
                               &profile.forward_matrix2})
        if (!matrix->empty() && matrix->size() != 9) lumra_fuzz::fail("a matrix of %zu values", matrix->size());
    if (profile.tone_curve.size() % 2) lumra_fuzz::fail("a tone curve of %zu values", profile.tone_curve.size());
    return 0;
}
