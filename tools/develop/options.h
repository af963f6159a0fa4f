// The development options, one table for every host: the lumra-develop
// command line, the C API of liblumra-develop and through it the Python
// package all set them by name with the same parser and the same messages.
#pragma once

#include "develop/image_output.h"
#include "develop/pipeline.h"

#include <string>
#include <vector>

namespace lumra_tools {

// Everything a development takes besides its input and output paths.
struct DevelopSettings {
    DevelopOptions develop;
    std::string dcp;  // camera profile file replacing the DNG's own profile
    bool format_given = false;
    FileFormat format = FileFormat::png;
    WriteOptions write;
};

struct OptionSpec {
    const char* name;   // the long option name without its dashes
    const char* value;  // the form of the value, for the help
    const char* help;
    bool (*apply)(DevelopSettings& settings, const std::string& value, std::string& error);
};

const std::vector<OptionSpec>& develop_option_table();

// Sets the option called name (without the leading dashes) from its text
// value; a null value means it was given without one. False with the message
// the command line prints, and settings unchanged.
bool set_develop_option(DevelopSettings& settings, const std::string& name, const char* value, std::string& error);

// The help lines of the table's options, stages of --skip included.
std::string develop_options_help();

// The settings one output gets: the format follows the output file's name
// unless one was given, and TIFF output is always 16 bits.
DevelopSettings settle_for_output(const DevelopSettings& settings, const std::string& output);

// ".png", ".tif" or ".jpg": the extension of outputs in the chosen format.
const char* output_extension(const DevelopSettings& settings);

}  // namespace lumra_tools
