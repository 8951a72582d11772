// Where the stream parser reads a DVR's bytes from: the connection in the client, memory in the
// fuzzer and in tests, so that the same parsing code runs on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads exactly n bytes; false when they cannot all be had (the end, an error, a shutdown).
    // The caller's thread may block until then.
    virtual bool ReadExactly(void* data, std::size_t n) = 0;
};

// Bytes held in memory, read front to back. Not thread-safe.
class MemorySource : public ByteSource {
  public:
    MemorySource(const uint8_t* data, std::size_t size) : data_(data), left_(size) {}
    bool ReadExactly(void* data, std::size_t n) override {
        if (n > left_) {
            left_ = 0;
            return false;
        }
        if (n > 0) {
            std::memcpy(data, data_, n);
        }
        data_ += n;
        left_ -= n;
        return true;
    }
    std::size_t left() const { return left_; }

  private:
    const uint8_t* data_;
    std::size_t left_;
};
