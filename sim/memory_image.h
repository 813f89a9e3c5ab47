#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace flash::sim {

// The flash memory of a simulated radio: a sparse 32-bit address space in which
// every address that was never written reads as erased flash (0xFF).
class MemoryImage {
 public:
  static constexpr std::uint8_t kErased = 0xFF;

  void Write(std::uint32_t address, std::uint8_t value);
  void Write(std::uint32_t address, const std::uint8_t* data, std::size_t size);
  std::uint8_t Read(std::uint32_t address) const;
  bool IsWritten(std::uint32_t address) const;

  // Number of addresses that hold a written byte.
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void Clear();

  // Calls visit(address, value) for every written byte, in address order.
  void ForEachByte(const std::function<void(std::uint32_t, std::uint8_t)>& visit) const;

  // Intel HEX: 16 data bytes per line, type 04 records above 64 KB, a type 01 end.
  // The file is written under a temporary name and renamed over the target, so an
  // interrupted save never leaves a half-written image.
  bool SaveIntelHex(const std::string& path, std::string* error = nullptr) const;
  // Replaces the content with the file's data records (types 00, 01, 02, 04).
  // On failure the image is left as it was and *error names the line and the fault.
  bool LoadIntelHex(const std::string& path, std::string* error = nullptr);

  // Two images are equal when every address reads the same (unwritten reads 0xFF).
  friend bool operator==(const MemoryImage& a, const MemoryImage& b);

 private:
  static constexpr std::uint32_t kPageSize = 256;
  struct Page {
    Page() { data.fill(kErased); }
    std::array<std::uint8_t, kPageSize> data;
    std::bitset<kPageSize> written;
  };

  std::map<std::uint32_t, Page> pages_;  // keyed by the page's first address
  std::size_t size_ = 0;
};

}  // namespace flash::sim
