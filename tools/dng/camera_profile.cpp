// DNG camera profile files are TIFF-structured but carry the magic number
// 0x4352 ("RC") instead of 42 and no image, which libtiff refuses; this small
// reader walks their first directory with every offset checked.
#include "dng/dng_reader.h"
#include "dng/profile_tags.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

namespace lumra_tools {
namespace {

constexpr size_t kMaxProfileBytes = size_t(64) << 20;

struct Entry {
    uint16_t type = 0;
    uint32_t count = 0;
    size_t offset = 0;  // of the value bytes within the file
};

class ProfileFile : public TagSource {
public:
    bool load(const std::string& path, std::string& error) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = std::strerror(errno);
            return false;
        }
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes_.size() > kMaxProfileBytes || bytes_.size() < 8) {
            error = "is not a DNG camera profile (impossible size)";
            return false;
        }
        if (bytes_[0] == 'I' && bytes_[1] == 'I') big_ = false;
        else if (bytes_[0] == 'M' && bytes_[1] == 'M') big_ = true;
        else return not_a_profile(error);
        if (u16(2) != 0x4352) return not_a_profile(error);
        const size_t ifd = u32(4);
        if (ifd > bytes_.size() || bytes_.size() - ifd < 2) return not_a_profile(error);
        const uint16_t count = u16(ifd);
        if ((bytes_.size() - ifd - 2) / 12 < count) {
            error = "has a directory that runs past the end of the file";
            return false;
        }
        for (uint16_t i = 0; i < count; ++i) {
            const size_t at = ifd + 2 + size_t(i) * 12;
            Entry e{u16(at + 2), u32(at + 4), 0};
            const size_t size = type_size(e.type);
            if (size == 0) continue;
            const uint64_t total = uint64_t(size) * e.count;
            e.offset = total <= 4 ? at + 8 : u32(at + 8);
            if (e.offset > bytes_.size() || total > bytes_.size() - e.offset) {
                error = "has tag " + std::to_string(u16(at)) + " whose data lies outside the file";
                return false;
            }
            entries_[u16(at)] = e;
        }
        return true;
    }

    bool numbers(uint32_t tag, std::vector<double>& values) override {
        values.clear();
        const auto it = entries_.find(tag);
        if (it == entries_.end() || it->second.type == 7 || it->second.type == 2) return false;
        const Entry& e = it->second;
        const size_t size = type_size(e.type);
        for (uint32_t i = 0; i < e.count; ++i) values.push_back(value(e.type, e.offset + size_t(i) * size));
        return true;
    }

    bool bytes(uint32_t tag, std::vector<uint8_t>& values) override {
        const auto it = entries_.find(tag);
        if (it == entries_.end() || type_size(it->second.type) != 1) return false;
        values.assign(bytes_.begin() + it->second.offset, bytes_.begin() + it->second.offset + it->second.count);
        return true;
    }

private:
    static bool not_a_profile(std::string& error) {
        error = "is not a DNG camera profile";
        return false;
    }
    static size_t type_size(uint16_t type) {
        switch (type) {
            case 1: case 2: case 6: case 7: return 1;
            case 3: case 8: return 2;
            case 4: case 9: case 11: return 4;
            case 5: case 10: case 12: return 8;
            default: return 0;
        }
    }
    uint16_t u16(size_t at) const {
        return big_ ? uint16_t(bytes_[at] << 8 | bytes_[at + 1]) : uint16_t(bytes_[at + 1] << 8 | bytes_[at]);
    }
    uint32_t u32(size_t at) const {
        return big_ ? uint32_t(u16(at)) << 16 | u16(at + 2) : uint32_t(u16(at + 2)) << 16 | u16(at);
    }
    double value(uint16_t type, size_t at) const {
        switch (type) {
            case 1: case 7: return bytes_[at];
            case 6: return int8_t(bytes_[at]);
            case 3: return u16(at);
            case 8: return int16_t(u16(at));
            case 4: return u32(at);
            case 9: return int32_t(u32(at));
            case 11: return std::bit_cast<float>(u32(at));
            case 5: { const uint32_t d = u32(at + 4); return d ? double(u32(at)) / d : 0.0; }
            case 10: { const int32_t d = int32_t(u32(at + 4)); return d ? double(int32_t(u32(at))) / d : 0.0; }
            case 12: {
                const uint64_t bits = big_ ? (uint64_t(u32(at)) << 32 | u32(at + 4)) : (uint64_t(u32(at + 4)) << 32 | u32(at));
                return std::bit_cast<double>(bits);
            }
            default: return 0.0;
        }
    }

    std::vector<uint8_t> bytes_;
    bool big_ = false;
    std::map<uint32_t, Entry> entries_;
};

}  // namespace

bool read_camera_profile(const std::string& path, ColorProfile& profile, std::string& error) {
    ProfileFile file;
    if (!file.load(path, error)) return false;
    ColorProfile read;
    if (!read_profile_tags(file, read, error)) return false;
    if (read.color_matrix1.empty()) {
        error = "holds no ColorMatrix1";
        return false;
    }
    profile = read;
    return true;
}

}  // namespace lumra_tools
