// The DNG opcodes that remap or repair values in place: MapTable,
// DeltaPerRow/Column, ScalePerRow/Column, FixBadPixelsList, and TrimBounds.
// The per-pixel ones work on any part of an image (a band of rows or a tile),
// so a streaming pipeline can run them part by part.
#pragma once

#include "develop/planes.h"
#include "dng/dng_file.h"
#include "dng/opcodes.h"

#include <cstdint>
#include <string>

namespace lumra_tools {

// A part of a whole image: data holds height x width x channels elements,
// row-major, whose first element is pixel (top, left) of the whole image.
struct ImagePart {
    uint32_t top = 0, left = 0;
    uint32_t height = 0, width = 0, channels = 1;
    uint32_t image_height = 0, image_width = 0;
};

// T is uint16_t (stored raw values, OpcodeList1) or float (values normalised
// to 0..1, OpcodeList2 and 3). Float results are limited to 0..1; stored
// values round to the nearest integer in 0..65535.
//
// MapTable: a stored value v becomes table[v]; a float value v reads the
// table at v x 65535, interpolating between neighbouring entries, and is
// divided by 65535. Entries past the table's end repeat its last entry.
template <typename T>
void apply_map_table(T* data, const ImagePart& part, const MapTableOp& op);

// DeltaPerRow/Column add, ScalePerRow/Column multiply by the value of the
// pixel's row (column) on the area's lattice; deltas are fractions of full
// scale (65535 for stored values). Rows (columns) past the list are left alone.
template <typename T>
void apply_per_line(T* data, const ImagePart& part, uint32_t opcode, const PerLineOp& op);

// Replaces every listed point and every pixel of the listed rectangles by the
// mean of the nearest good pixels of the same colour (the ring of the
// smallest distance, up to 16, that holds one). CFA colours follow the
// opcode's BayerPhase (0: red at the top-left, 1: green-red, 2: green-blue,
// 3: blue). Needs the whole image: a repair reads its neighbours. Returns
// false, changing nothing, when the list covers more than a sixteenth of the
// image: that is no list of defects, and its repair would take very long.
template <typename T>
bool fix_bad_pixels_list(T* data, uint32_t height, uint32_t width, uint32_t channels, const FixBadPixelsListOp& op);

// TrimBounds in OpcodeList1: narrows the active area (stored coordinates)
// and moves the black-level pattern, black deltas, CFA pattern and default
// crop with its corner. False when nothing would remain.
bool trim_raw(DngFile& dng, const TrimBoundsOp& op, std::string& error);

// TrimBounds in OpcodeList2 or 3: cuts the image, and moves the CFA pattern
// and default crop of dng (when given) with its corner.
bool trim_image(FloatImage& image, DngFile* dng, const TrimBoundsOp& op, std::string& error);

// One opcode of OpcodeList1 on the stored values of dng; opcodes it does not
// know go to refuse_opcode.
bool run_raw_opcode(const Opcode& op, DngFile& dng, OpcodeContext& context, std::string& error);

// The opcodes above in OpcodeList2 or 3 on a float image; others go to refuse_opcode.
bool run_value_opcode(const Opcode& op, FloatImage& image, OpcodeContext& context, std::string& error);

}  // namespace lumra_tools
