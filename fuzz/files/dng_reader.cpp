// read_dng on any bytes: refuses or returns a consistent DngFile.
#include "dng/dng_reader.h"
#include "support/dng_checks.h"
#include "support/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const lumra_fuzz::MemoryFile file(data, size);
    lumra_tools::DngFile dng;
    std::string error;
    if (lumra_tools::read_dng(file.path(), dng, error, 1)) lumra_fuzz::check_read_dng(dng);
    else if (error.empty()) lumra_fuzz::fail("read_dng failed without a reason");
    return 0;
}
