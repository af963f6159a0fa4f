#include "dng/tiff_fields.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <type_traits>

namespace lumra_tools {
namespace {

TIFFExtendProc g_parent_extender = nullptr;

void add_dng_fields(TIFF* tif) {
    static const TIFFFieldInfo fields[] = {
        {dng_tag::kForwardMatrix1, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_SRATIONAL, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ForwardMatrix1")},
        {dng_tag::kForwardMatrix2, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_SRATIONAL, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ForwardMatrix2")},
        {dng_tag::kHueSatMapDims, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_LONG, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileHueSatMapDims")},
        {dng_tag::kHueSatMapData1, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_FLOAT, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileHueSatMapData1")},
        {dng_tag::kHueSatMapData2, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_FLOAT, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileHueSatMapData2")},
        {dng_tag::kToneCurve, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_FLOAT, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileToneCurve")},
        {dng_tag::kLookTableDims, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_LONG, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileLookTableDims")},
        {dng_tag::kLookTableData, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_FLOAT, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileLookTableData")},
        {dng_tag::kOpcodeList1, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("OpcodeList1")},
        {dng_tag::kOpcodeList2, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("OpcodeList2")},
        {dng_tag::kOpcodeList3, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("OpcodeList3")},
        {dng_tag::kHueSatMapEncoding, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_LONG, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileHueSatMapEncoding")},
        {dng_tag::kLookTableEncoding, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_LONG, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileLookTableEncoding")},
        {dng_tag::kBaselineExposureOffset, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_SRATIONAL, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("BaselineExposureOffset")},
        {dng_tag::kGainTableMap, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileGainTableMap")},
        // The signatures are text, written as ASCII or BYTE; read as bytes either way.
        {dng_tag::kCameraCalibrationSignature, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_BYTE, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("CameraCalibrationSignature")},
        {dng_tag::kProfileCalibrationSignature, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_BYTE, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("ProfileCalibrationSignature")},
        {dng_tag::kDefaultUserCrop, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_RATIONAL, FIELD_CUSTOM, 1, 1,
         const_cast<char*>("DefaultUserCrop")},
    };
    TIFFMergeFieldInfo(tif, fields, sizeof fields / sizeof fields[0]);
    if (g_parent_extender) g_parent_extender(tif);
}

int keep_first_error(TIFF*, void* user, const char*, const char* fmt, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user);
    if (messages && messages->error.empty()) {
        char buffer[512];
        std::vsnprintf(buffer, sizeof buffer, fmt, args);
        messages->error = buffer;
    }
    return 1;
}

// Unknown private tags are common and harmless; a tag dropped because its
// data cannot be read means the file is damaged.
int keep_damage_warning(TIFF*, void* user, const char*, const char* fmt, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user);
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    const std::string text = buffer;
    if (messages && messages->damage.empty() &&
        (text.find("ignored") != std::string::npos || text.find("IO error") != std::string::npos ||
         text.find("Incorrect") != std::string::npos))
        messages->damage = text;
    return 1;
}

// The field's element type. For a tag libtiff does not know, the type is the
// one the file gave, which can be any 16-bit number; in C++ such a value must
// not live in a TIFFDataType, so it is read as an integer and mapped to a valid
// type here (0 when the file's type is none of TIFF's).
#if defined(__GNUC__)
__attribute__((no_sanitize("enum")))
#endif
int field_type_code(const TIFFField* field) {
    const auto code = static_cast<std::underlying_type_t<TIFFDataType>>(TIFFFieldDataType(field));
    return code >= TIFF_BYTE && code <= TIFF_IFD8 ? static_cast<int>(code) : 0;
}

bool field_type(const TIFFField* field, TIFFDataType& type) {
    const int code = field_type_code(field);
    if (code == 0) return false;
    type = static_cast<TIFFDataType>(code);
    return true;
}

bool is_real(TIFFDataType type) {
    return type == TIFF_RATIONAL || type == TIFF_SRATIONAL || type == TIFF_FLOAT || type == TIFF_DOUBLE;
}
bool is_signed(TIFFDataType type) {
    return type == TIFF_SBYTE || type == TIFF_SSHORT || type == TIFF_SLONG || type == TIFF_SLONG8;
}

// One element of libtiff's in-memory array, by its storage size and kind.
double element(const void* data, size_t index, int size, TIFFDataType type) {
    const auto* bytes = static_cast<const unsigned char*>(data) + index * static_cast<size_t>(size);
    switch (size) {
        case 1: return is_signed(type) ? double(*reinterpret_cast<const int8_t*>(bytes)) : double(*bytes);
        case 2: {
            uint16_t v;
            std::memcpy(&v, bytes, 2);
            return is_signed(type) ? double(int16_t(v)) : double(v);
        }
        case 4: {
            if (is_real(type)) {
                float f;
                std::memcpy(&f, bytes, 4);
                return f;
            }
            uint32_t v;
            std::memcpy(&v, bytes, 4);
            return is_signed(type) ? double(int32_t(v)) : double(v);
        }
        case 8: {
            if (is_real(type)) {
                double d;
                std::memcpy(&d, bytes, 8);
                return d;
            }
            uint64_t v;
            std::memcpy(&v, bytes, 8);
            return is_signed(type) ? double(int64_t(v)) : double(v);
        }
        default: return 0.0;
    }
}

void store_element(std::vector<unsigned char>& out, size_t index, int size, TIFFDataType type, double value) {
    unsigned char* p = out.data() + index * static_cast<size_t>(size);
    switch (size) {
        case 1: *p = static_cast<unsigned char>(static_cast<int>(value)); break;
        case 2: { const uint16_t v = static_cast<uint16_t>(static_cast<int32_t>(value)); std::memcpy(p, &v, 2); break; }
        case 4:
            if (is_real(type)) { const float f = static_cast<float>(value); std::memcpy(p, &f, 4); }
            else if (is_signed(type)) { const int32_t v = static_cast<int32_t>(value); std::memcpy(p, &v, 4); }
            else { const uint32_t v = static_cast<uint32_t>(value); std::memcpy(p, &v, 4); }
            break;
        case 8:
            if (is_real(type)) std::memcpy(p, &value, 8);
            else { const uint64_t v = static_cast<uint64_t>(value); std::memcpy(p, &v, 8); }
            break;
        default: break;
    }
}

// A tag stored with its count: libtiff hands the count back as 16 or 32 bits.
bool get_counted(TIFF* tif, uint32_t tag, const TIFFField* field, uint64_t& count, void*& data) {
    if (TIFFFieldSetGetCountSize(field) == 4) {
        uint32_t n = 0;
        if (!TIFFGetField(tif, tag, &n, &data)) return false;
        count = n;
    } else {
        uint16_t n = 0;
        if (!TIFFGetField(tif, tag, &n, &data)) return false;
        count = n;
    }
    return count == 0 || data != nullptr;
}

}  // namespace

void prepare_libtiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        g_parent_extender = TIFFSetTagExtender(add_dng_fields);
    });
}

TIFF* open_tiff(const std::string& path, const char* mode, TiffMessages* messages) {
    prepare_libtiff();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, keep_first_error, messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, keep_damage_warning, messages);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(1) << 31);
    TIFF* tif = TIFFOpenExt(path.c_str(), mode, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

bool get_numbers(TIFF* tif, uint32_t tag, std::vector<double>& values) {
    values.clear();
    const TIFFField* field = TIFFFieldWithTag(tif, tag);
    if (!field) return false;
    TIFFDataType type = TIFF_NOTYPE;
    if (!field_type(field, type) || type == TIFF_UNDEFINED || type == TIFF_ASCII) return false;
    const int size = TIFFFieldSetGetSize(field);
    if (size != 1 && size != 2 && size != 4 && size != 8) return false;
    if (TIFFFieldPassCount(field)) {
        void* data = nullptr;
        uint64_t count = 0;
        if (!get_counted(tif, tag, field, count, data)) return false;
        values.resize(count);
        for (uint64_t i = 0; i < count; ++i) values[i] = element(data, i, size, type);
        return true;
    }
    const int read_count = TIFFFieldReadCount(field);
    if (read_count == 1) {
        alignas(8) unsigned char storage[8] = {};
        if (!TIFFGetField(tif, tag, storage)) return false;
        values.push_back(element(storage, 0, size, type));
        return true;
    }
    uint64_t count = 0;
    if (read_count > 1) {
        count = static_cast<uint64_t>(read_count);
    } else if (read_count == TIFF_SPP) {
        uint16_t spp = 1;
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        count = spp;
    } else {
        return false;
    }
    void* data = nullptr;
    if (!TIFFGetField(tif, tag, &data) || !data) return false;
    values.resize(count);
    for (uint64_t i = 0; i < count; ++i) values[i] = element(data, i, size, type);
    return true;
}

bool get_bytes(TIFF* tif, uint32_t tag, std::vector<uint8_t>& bytes) {
    bytes.clear();
    const TIFFField* field = TIFFFieldWithTag(tif, tag);
    if (!field || TIFFFieldSetGetSize(field) != 1 || !TIFFFieldPassCount(field)) return false;
    void* data = nullptr;
    uint64_t count = 0;
    if (!get_counted(tif, tag, field, count, data)) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.assign(p, p + count);
    return true;
}

bool set_numbers(TIFF* tif, uint32_t tag, const std::vector<double>& values) {
    const TIFFField* field = TIFFFieldWithTag(tif, tag);
    if (!field || values.empty()) return false;
    TIFFDataType type = TIFF_NOTYPE;
    if (!field_type(field, type)) return false;
    const int size = TIFFFieldSetGetSize(field);
    if (size != 1 && size != 2 && size != 4 && size != 8) return false;
    std::vector<unsigned char> storage(values.size() * static_cast<size_t>(size));
    for (size_t i = 0; i < values.size(); ++i) store_element(storage, i, size, type, values[i]);
    if (TIFFFieldPassCount(field)) {
        if (TIFFFieldWriteCount(field) == TIFF_VARIABLE2)
            return TIFFSetField(tif, tag, static_cast<uint32_t>(values.size()), storage.data()) == 1;
        return TIFFSetField(tif, tag, static_cast<int>(values.size()), storage.data()) == 1;
    }
    if (TIFFFieldWriteCount(field) == 1) {
        // Variadic promotion: small integers travel as int, floats as double.
        if (is_real(type)) return TIFFSetField(tif, tag, values[0]) == 1;
        if (size == 8) return TIFFSetField(tif, tag, static_cast<uint64_t>(values[0])) == 1;
        return TIFFSetField(tif, tag, static_cast<uint32_t>(values[0])) == 1;
    }
    return TIFFSetField(tif, tag, storage.data()) == 1;
}

bool set_bytes(TIFF* tif, uint32_t tag, const std::vector<uint8_t>& bytes) {
    const TIFFField* field = TIFFFieldWithTag(tif, tag);
    if (!field || bytes.empty()) return false;
    if (TIFFFieldWriteCount(field) == TIFF_VARIABLE2)
        return TIFFSetField(tif, tag, static_cast<uint32_t>(bytes.size()), bytes.data()) == 1;
    return TIFFSetField(tif, tag, static_cast<int>(bytes.size()), bytes.data()) == 1;
}

}  // namespace lumra_tools
