// Table-driven checks of the exported entries. An entry is described by a
// valid baseline call and an ordered list of "breakers", each of which spoils
// one check of the entry in a copy of the baseline arguments and names the
// status that check reports. Breakers are listed in the entry's check order,
// so a call with several of them applied must report the earliest one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lumra.h"
#include "support/image.h"

namespace lumra_test {

constexpr uint64_t kTooLarge = uint64_t{1} << 31;  // first size the 32-bit kernels refuse

// Every buffer a case hands to its entry, so that a failing call can be shown
// to leave each of them byte for byte as it was. Each buffer holds at least
// 1 KiB: a descriptor that a breaker has made a little larger than its data
// (one more row, four channels, a wider element type) still describes memory
// the test owns.
class Arena {
  public:
    template <typename T>
    T* buffer(size_t count) {
        const size_t bytes = std::max<size_t>(count * sizeof(T), 1024);
        blocks_.emplace_back((bytes + sizeof(double) - 1) / sizeof(double), 0.0);
        return reinterpret_cast<T*>(blocks_.back().data());
    }

    template <typename T>
    const T* values(std::initializer_list<T> list) {
        T* out = buffer<T>(list.size());
        std::copy(list.begin(), list.end(), out);
        return out;
    }

    template <typename T>
    const T* filled(size_t count, T value) {
        T* out = buffer<T>(count);
        std::fill(out, out + count, value);
        return out;
    }

    // A packed image of plausible random content: floats in (0, 1), 16-bit
    // values below 4096, any 8-bit value.
    LumraImage image(LumraDType dtype, uint64_t height, uint64_t width, uint64_t channels) {
        const size_t count = static_cast<size_t>(height * width * channels);
        void* data = nullptr;
        if (dtype == LUMRA_DTYPE_FLOAT32) {
            float* p = buffer<float>(count);
            for (size_t i = 0; i < count; ++i) p[i] = uniform(0.05f, 0.95f);
            data = p;
        } else if (dtype == LUMRA_DTYPE_UINT16) {
            uint16_t* p = buffer<uint16_t>(count);
            for (size_t i = 0; i < count; ++i) p[i] = static_cast<uint16_t>(uniform_int(0, 4095));
            data = p;
        } else {
            uint8_t* p = buffer<uint8_t>(count);
            for (size_t i = 0; i < count; ++i) p[i] = static_cast<uint8_t>(uniform_int(0, 255));
            data = p;
        }
        return LumraImage{data, height, width, channels, dtype, 0};
    }

    std::vector<std::vector<double>> snapshot() const { return blocks_; }
    bool unchanged_since(const std::vector<std::vector<double>>& before) const {
        if (before.size() != blocks_.size()) return false;
        for (size_t i = 0; i < blocks_.size(); ++i) {
            if (std::memcmp(before[i].data(), blocks_[i].data(), blocks_[i].size() * sizeof(double)) != 0) return false;
        }
        return true;
    }

  private:
    std::vector<std::vector<double>> blocks_;  // double elements keep every buffer 8-byte aligned
};

// A descriptor argument, passed as a null pointer when `null` is set.
struct Desc {
    LumraImage image;
    bool null = false;
    LumraImage* get() { return null ? nullptr : &image; }
};

struct Breaker {
    std::string name;
    LumraStatus status;
};

// A named variation of the baseline that is not one broken check: another
// valid form of the call, or an edge case with its own status. `untouched`
// says the call must leave every buffer as it was (failures always must).
struct Variant {
    std::string name;
    LumraStatus status;
    bool untouched;
};

// One entry, type-erased: `call` runs the entry on the baseline arguments with
// the listed breakers (indices in ascending order) applied.
struct EntryCase {
    std::string entry;
    LumraStatus success = LUMRA_OK;
    std::vector<Breaker> breakers;
    std::vector<Variant> variants;
    std::function<LumraStatus(const std::vector<size_t>&)> call;
    std::function<LumraStatus(size_t)> call_variant;
    std::shared_ptr<Arena> arena;
};

template <typename Args>
class CaseBuilder {
  public:
    using Mutator = std::function<void(Args&)>;

    CaseBuilder(std::string entry, std::shared_ptr<Arena> arena, Args baseline,
                std::function<LumraStatus(Args&)> invoke)
        : entry_(std::move(entry)), arena_(std::move(arena)), baseline_(std::move(baseline)),
          invoke_(std::move(invoke)) {}

    CaseBuilder& breaks(std::string name, LumraStatus status, Mutator mutate) {
        breakers_.push_back({std::move(name), status});
        mutators_.push_back(std::move(mutate));
        return *this;
    }

    struct Step {
        std::string name;
        LumraStatus status;
        Mutator mutate;
    };
    // A run of consecutive checks that several entries share.
    CaseBuilder& breaks(const std::vector<Step>& steps) {
        for (const Step& step : steps) breaks(step.name, step.status, step.mutate);
        return *this;
    }

    CaseBuilder& variant(std::string name, LumraStatus status, Mutator mutate, bool untouched = false) {
        variants_.push_back({std::move(name), status, untouched || status != LUMRA_OK});
        variant_mutators_.push_back(std::move(mutate));
        return *this;
    }

    EntryCase build() const {
        EntryCase c;
        c.entry = entry_;
        c.breakers = breakers_;
        c.variants = variants_;
        c.arena = arena_;
        c.call_variant = [baseline = baseline_, invoke = invoke_, mutators = variant_mutators_](size_t k) {
            Args args = baseline;
            mutators[k](args);
            return invoke(args);
        };
        // The later breaker is applied first, so that the earlier one (whose
        // status is expected) always ends up in force, even when both touch
        // the same field.
        c.call = [baseline = baseline_, invoke = invoke_, mutators = mutators_](const std::vector<size_t>& broken) {
            Args args = baseline;
            for (auto it = broken.rbegin(); it != broken.rend(); ++it) mutators[*it](args);
            return invoke(args);
        };
        return c;
    }

  private:
    std::string entry_;
    std::shared_ptr<Arena> arena_;
    Args baseline_;
    std::function<LumraStatus(Args&)> invoke_;
    std::vector<Breaker> breakers_;
    std::vector<Mutator> mutators_;
    std::vector<Variant> variants_;
    std::vector<Mutator> variant_mutators_;
};

// Breakers on descriptor arguments.
template <typename A>
std::function<void(A&)> null_desc(Desc A::*d) {
    return [d](A& a) { (a.*d).null = true; };
}
template <typename A>
std::function<void(A&)> null_data(Desc A::*d) {
    return [d](A& a) { (a.*d).image.data = nullptr; };
}
template <typename A>
std::function<void(A&)> reserved_set(Desc A::*d) {
    return [d](A& a) { (a.*d).image.reserved = 1; };
}
template <typename A>
std::function<void(A&)> dtype_set(Desc A::*d, int32_t dtype) {
    return [d, dtype](A& a) { (a.*d).image.dtype = static_cast<LumraDType>(dtype); };
}
template <typename A>
std::function<void(A&)> channels_set(Desc A::*d, uint64_t channels) {
    return [d, channels](A& a) { (a.*d).image.channels = channels; };
}
// Makes `d`'s size field one less than `other`'s, so the two differ.
template <typename A>
std::function<void(A&)> differs(Desc A::*d, Desc A::*other, uint64_t LumraImage::*field) {
    return [d, other, field](A& a) { (a.*d).image.*field = (a.*other).image.*field - 1; };
}
// Sets a size field of one or two descriptors (a tiny real buffer behind a
// huge descriptor is safe only because the check fails before any access).
template <typename A>
std::function<void(A&)> size_set(std::vector<Desc A::*> descs, uint64_t LumraImage::*field, uint64_t value) {
    return [descs, field, value](A& a) {
        for (auto d : descs) (a.*d).image.*field = value;
    };
}

// Runs of checks shared by the entries with a source `src` and a destination
// `dst`, each in the order source first.
template <typename A>
std::vector<typename CaseBuilder<A>::Step> both_given() {
    return {{"src null", LUMRA_ERR_INVALID_ARGUMENT, null_desc(&A::src)},
            {"dst null", LUMRA_ERR_INVALID_ARGUMENT, null_desc(&A::dst)}};
}
template <typename A>
std::vector<typename CaseBuilder<A>::Step> both_with_data() {
    return {{"src data null", LUMRA_ERR_INVALID_ARGUMENT, null_data(&A::src)},
            {"dst data null", LUMRA_ERR_INVALID_ARGUMENT, null_data(&A::dst)}};
}
template <typename A>
std::vector<typename CaseBuilder<A>::Step> both_reserved_clear() {
    return {{"src reserved", LUMRA_ERR_INVALID_ARGUMENT, reserved_set(&A::src)},
            {"dst reserved", LUMRA_ERR_INVALID_ARGUMENT, reserved_set(&A::dst)}};
}
template <typename A>
std::vector<typename CaseBuilder<A>::Step> same_height_and_width(LumraStatus status) {
    return {{"height differs", status, differs(&A::dst, &A::src, &LumraImage::height)},
            {"width differs", status, differs(&A::dst, &A::src, &LumraImage::width)}};
}
// Sizes the 32-bit kernels cannot take, on every descriptor given.
template <typename A>
std::vector<typename CaseBuilder<A>::Step> sizes_fit_32_bits(std::vector<Desc A::*> descs) {
    return {{"height 2^31", LUMRA_ERR_INVALID_ARGUMENT, size_set<A>(descs, &LumraImage::height, kTooLarge)},
            {"width 2^31", LUMRA_ERR_INVALID_ARGUMENT, size_set<A>(descs, &LumraImage::width, kTooLarge)}};
}

}  // namespace lumra_test
