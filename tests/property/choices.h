// Where the machine generator takes its decisions from: a seeded generator for the property tests,
// or the fuzzer's bytes. Choice 0 is always the ordinary case, so that an input that runs out of
// bytes describes an ordinary machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace property {

class Choices {
  public:
    virtual ~Choices() = default;

    // A number from 0 to count - 1.
    virtual int Pick(int count) = 0;

    // True in about `percent` of the cases; false when the choices have run out.
    bool Chance(int percent) { return Pick(100) >= 100 - percent; }

    // An index into the weights, picked in proportion to them; the first one when run out.
    int Weighted(std::initializer_list<int> weights) {
        int total = 0;
        for (int weight : weights) {
            total += weight;
        }
        int roll = Pick(total);
        int index = 0;
        for (int weight : weights) {
            if (roll < weight) {
                return index;
            }
            roll -= weight;
            ++index;
        }
        return 0;
    }

    template <typename T>
    const T& OneOf(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Pick(static_cast<int>(items.size())))];
    }
};

// splitmix64: the same sequence for the same seed on every platform and library.
class SeededChoices : public Choices {
  public:
    explicit SeededChoices(std::uint64_t seed) : state_(seed) {}
    int Pick(int count) override {
        if (count <= 1) {
            return 0;
        }
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<int>(z % static_cast<std::uint64_t>(count));
    }

  private:
    std::uint64_t state_;
};

// The fuzzer's input, one byte per small choice, two per large one; 0 once the bytes are used up.
class ByteChoices : public Choices {
  public:
    ByteChoices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    int Pick(int count) override {
        if (count <= 1) {
            return 0;
        }
        unsigned value = Byte();
        if (count > 256) {
            value = (value << 8) | Byte();
        }
        return static_cast<int>(value % static_cast<unsigned>(count));
    }

  private:
    unsigned Byte() { return next_ < size_ ? data_[next_++] : 0u; }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
};

}  // namespace property
