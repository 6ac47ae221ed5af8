// Takes typed values off the front of a fuzz input; past its end, zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzReader {
public:
  FuzzReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  template <typename T> T Take() {
    T value{};
    unsigned char bytes[sizeof(T)] = {};
    for (std::size_t i = 0; i < sizeof(T) && at_ < size_; ++i)
      bytes[i] = data_[at_++];
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }
  const std::uint8_t *Rest() const { return data_ + at_; }
  std::size_t RestSize() const { return size_ - at_; }

private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
