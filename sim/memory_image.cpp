#include "sim/memory_image.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "sim/intel_hex_line.h"

namespace flash::sim {

void MemoryImage::Write(std::uint32_t address, std::uint8_t value) {
  Page& page = pages_[address - address % kPageSize];
  const std::uint32_t offset = address % kPageSize;
  if (!page.written.test(offset)) {
    page.written.set(offset);
    ++size_;
  }
  page.data[offset] = value;
}

void MemoryImage::Write(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    Write(static_cast<std::uint32_t>(address + i), data[i]);
  }
}

std::uint8_t MemoryImage::Read(std::uint32_t address) const {
  const auto it = pages_.find(address - address % kPageSize);
  return it == pages_.end() ? kErased : it->second.data[address % kPageSize];
}

bool MemoryImage::IsWritten(std::uint32_t address) const {
  const auto it = pages_.find(address - address % kPageSize);
  return it != pages_.end() && it->second.written.test(address % kPageSize);
}

void MemoryImage::Clear() {
  pages_.clear();
  size_ = 0;
}

void MemoryImage::ForEachByte(
    const std::function<void(std::uint32_t, std::uint8_t)>& visit) const {
  for (const auto& [base, page] : pages_) {
    for (std::uint32_t i = 0; i < kPageSize; ++i) {
      if (page.written.test(i)) visit(base + i, page.data[i]);
    }
  }
}

bool operator==(const MemoryImage& a, const MemoryImage& b) {
  // Pages present in only one image must read as erased everywhere.
  auto pageReadsErased = [](const MemoryImage::Page& page) {
    for (std::uint8_t v : page.data) {
      if (v != MemoryImage::kErased) return false;
    }
    return true;
  };
  auto ia = a.pages_.begin();
  auto ib = b.pages_.begin();
  while (ia != a.pages_.end() || ib != b.pages_.end()) {
    if (ib == b.pages_.end() || (ia != a.pages_.end() && ia->first < ib->first)) {
      if (!pageReadsErased(ia->second)) return false;
      ++ia;
    } else if (ia == a.pages_.end() || ib->first < ia->first) {
      if (!pageReadsErased(ib->second)) return false;
      ++ib;
    } else {
      if (ia->second.data != ib->second.data) return false;
      ++ia;
      ++ib;
    }
  }
  return true;
}

bool MemoryImage::SaveIntelHex(const std::string& path, std::string* error) const {
  const std::string temporary = path + ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  if (!out) {
    if (error) *error = "cannot create " + temporary;
    return false;
  }
  std::uint32_t upper = 0;  // bits 31..16 announced by the last type 04 record
  std::vector<std::uint8_t> run;
  std::uint32_t runStart = 0;
  auto flush = [&]() {
    if (run.empty()) return;
    if ((runStart >> 16) != upper) {
      upper = runStart >> 16;
      const std::uint8_t linear[2] = {static_cast<std::uint8_t>(upper >> 8),
                                      static_cast<std::uint8_t>(upper & 0xFF)};
      out << FormatIntelHexLine(0x04, 0, linear, 2) << "\r\n";
    }
    out << FormatIntelHexLine(0x00, static_cast<std::uint16_t>(runStart & 0xFFFF), run.data(),
                              run.size())
        << "\r\n";
    run.clear();
  };
  ForEachByte([&](std::uint32_t address, std::uint8_t value) {
    // A line holds at most 16 bytes, never crosses a 16-byte boundary or a 64 KB one.
    const bool continues = !run.empty() && address == runStart + run.size() &&
                           run.size() < 16 && address % 16 != 0;
    if (!continues) {
      flush();
      runStart = address;
    }
    run.push_back(value);
  });
  flush();
  out << ":00000001FF\r\n";
  out.close();
  if (!out) {
    if (error) *error = "cannot write " + temporary;
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot rename " + temporary + " to " + path;
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool MemoryImage::LoadIntelHex(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  MemoryImage loaded;
  std::uint32_t base = 0;
  std::string line;
  int lineNumber = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = path + " line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNumber;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty()) continue;
    IntelHexLine record;
    const std::string fault = ParseIntelHexLine(line, record);
    if (!fault.empty()) return fail(fault);
    if (record.checksum != record.calcChecksum) {
      char text[64];
      std::snprintf(text, sizeof text, "checksum 0x%02X, the record sums to 0x%02X",
                    record.checksum, record.calcChecksum);
      return fail(text);
    }
    switch (record.recordType) {
      case 0x00:
        loaded.Write(base + record.address, record.data.data(), record.data.size());
        break;
      case 0x01:
        *this = std::move(loaded);
        return true;
      case 0x02:
      case 0x04:
        if (record.data.size() != 2) return fail("an address record must hold 2 bytes");
        base = static_cast<std::uint32_t>(record.data[0] << 8 | record.data[1]);
        base = record.recordType == 0x02 ? base << 4 : base << 16;
        break;
      default:
        break;  // start addresses (03, 05) say nothing about memory
    }
  }
  *this = std::move(loaded);
  return true;
}

}  // namespace flash::sim
