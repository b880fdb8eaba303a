// A buffer whose last byte sits right before an inaccessible page, so that any read past its
// end faults at once, also inside libraries that AddressSanitizer does not instrument.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size) : size_(size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (size + page - 1) / page;
    mappedSize_ = (dataPages + 1) * page;
    void* base =
        mmap(nullptr, mappedSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
      throw std::runtime_error("mmap failed");
    }
    base_ = static_cast<uint8_t*>(base);
    if (mprotect(base_ + dataPages * page, page, PROT_NONE) != 0) {
      munmap(base_, mappedSize_);
      throw std::runtime_error("mprotect failed");
    }
    data_ = base_ + dataPages * page - size;
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  ~GuardedBuffer() { munmap(base_, mappedSize_); }

  uint8_t* data() { return data_; }
  size_t size() const { return size_; }

 private:
  size_t size_;
  size_t mappedSize_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
};
