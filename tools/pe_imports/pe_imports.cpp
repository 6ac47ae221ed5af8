#include "tools/pe_imports/pe_imports.h"

#include "imaging/little_endian.h"

namespace {

// Offsets and values of the PE/COFF format, as Microsoft documents it.
constexpr std::size_t kDosNewHeader = 0x3C; // e_lfanew
constexpr std::size_t kCoffSize = 20;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kDelayDescriptorSize = 32;
constexpr std::uint32_t kImportDirectory = 1;
constexpr std::uint32_t kDelayImportDirectory = 13;
// More than any real image has: a table without its terminator ends here.
constexpr std::size_t kMaxDescriptors = 4096;
// Module names are short; MAX_PATH bounds any the loader takes.
constexpr std::size_t kMaxNameLength = 260;

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t rawSize;
  std::uint32_t rawOffset;
};

class Image {
public:
  Image(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

  bool Has(std::size_t offset, std::size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  std::uint16_t U16(std::size_t offset) const { return ReadU16(data_ + offset); }
  std::uint32_t U32(std::size_t offset) const { return ReadU32(data_ + offset); }
  std::uint64_t U64(std::size_t offset) const {
    return std::uint64_t(U32(offset)) | (std::uint64_t(U32(offset + 4)) << 32);
  }

  // The file offset of `length` bytes at an address of the loaded image:
  // within one section's data in the file, or within the headers.
  bool Map(std::uint64_t rva, std::size_t length, std::size_t &offset) const {
    for (const Section &s : sections_) {
      if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize)
        continue;
      const std::uint64_t inSection = rva - s.virtualAddress;
      if (length > s.rawSize - inSection)
        return false;
      offset = std::size_t(s.rawOffset + inSection);
      return Has(offset, length);
    }
    if (rva < headersSize_ && length <= headersSize_ - rva) {
      offset = std::size_t(rva);
      return Has(offset, length);
    }
    return false;
  }

  // A NUL-terminated name at an address; false when it does not end within
  // its section, the file or the length a module name can have.
  bool Name(std::uint64_t rva, std::string &name) const {
    std::size_t offset = 0;
    name.clear();
    for (std::size_t i = 0; i <= kMaxNameLength; ++i) {
      if (!Map(rva + i, 1, offset))
        return false;
      const char c = char(data_[offset]);
      if (c == '\0')
        return !name.empty();
      name += c;
    }
    return false;
  }

  std::vector<Section> sections_;
  std::uint64_t headersSize_ = 0;

private:
  const std::uint8_t *data_;
  std::size_t size_;
};

PeImports Fail(PeImports result, const std::string &why) {
  result.ok = false;
  result.error = why;
  result.dlls.clear();
  result.delayDlls.clear();
  return result;
}

} // namespace

PeImports ReadPeImports(const std::uint8_t *data, std::size_t size) {
  PeImports result;
  Image image(data, size);
  if (!image.Has(0, kDosNewHeader + 4) || data[0] != 'M' || data[1] != 'Z')
    return Fail(result, "no MZ header");
  const std::size_t pe = image.U32(kDosNewHeader);
  if (!image.Has(pe, 4 + kCoffSize) || data[pe] != 'P' || data[pe + 1] != 'E' ||
      data[pe + 2] != 0 || data[pe + 3] != 0)
    return Fail(result, "no PE signature");
  const std::size_t coff = pe + 4;
  const std::uint16_t sectionCount = image.U16(coff + 2);
  const std::uint16_t optionalSize = image.U16(coff + 16);
  const std::size_t optional = coff + kCoffSize;
  if (!image.Has(optional, optionalSize) || optionalSize < 2)
    return Fail(result, "optional header cut short");
  const std::uint16_t magic = image.U16(optional);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus)
    return Fail(result, "unknown optional header magic");
  result.pe32Plus = magic == kMagicPe32Plus;
  const std::size_t directoryCountAt = result.pe32Plus ? 108 : 92;
  const std::size_t directoriesAt = directoryCountAt + 4;
  if (optionalSize < directoriesAt)
    return Fail(result, "optional header cut short");
  const std::uint64_t imageBase =
      result.pe32Plus ? image.U64(optional + 24) : image.U32(optional + 28);
  image.headersSize_ = image.U32(optional + 60);
  const std::uint32_t directoryCount = image.U32(optional + directoryCountAt);

  const std::size_t sections = optional + optionalSize;
  if (!image.Has(sections, std::size_t(sectionCount) * kSectionHeaderSize))
    return Fail(result, "section table cut short");
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = sections + i * kSectionHeaderSize;
    image.sections_.push_back({image.U32(at + 12), image.U32(at + 16), image.U32(at + 20)});
  }

  // A directory: its address, 0 when the image has none.
  auto directory = [&](std::uint32_t index) -> std::uint32_t {
    const std::size_t at = directoriesAt + std::size_t(index) * 8;
    if (index >= directoryCount || at + 8 > optionalSize)
      return 0;
    return image.U32(optional + at);
  };

  // Each entry of a descriptor table until the one whose name field (at
  // nameField) is 0, where the loader stops; take reads an entry's name
  // into name and says whether it could. Null when the table holds together.
  std::string name;
  auto walk = [&](std::uint32_t table, std::size_t entrySize, std::size_t nameField,
                  auto take) -> const char * {
    for (std::size_t i = 0; table != 0; ++i) {
      std::size_t at = 0;
      if (i == kMaxDescriptors || !image.Map(std::uint64_t(table) + i * entrySize, entrySize, at))
        return "directory outside the image or without its end";
      if (image.U32(at + nameField) == 0)
        return nullptr;
      if (!take(at))
        return "module name outside the image or without its end";
    }
    return nullptr;
  };
  const char *error = walk(directory(kImportDirectory), kImportDescriptorSize, 12,
                           [&](std::size_t at) {
                             if (!image.Name(image.U32(at + 12), name))
                               return false;
                             result.dlls.push_back(name);
                             return true;
                           });
  if (error != nullptr)
    return Fail(result, std::string("imports: ") + error);
  error = walk(directory(kDelayImportDirectory), kDelayDescriptorSize, 4, [&](std::size_t at) {
    std::uint64_t address = image.U32(at + 4);
    // Old linkers wrote addresses, not offsets from the image base: their
    // entries lack bit 0 of the attributes.
    if ((image.U32(at) & 1) == 0) {
      if (address < imageBase)
        return false;
      address -= imageBase;
    }
    if (!image.Name(address, name))
      return false;
    result.delayDlls.push_back(name);
    return true;
  });
  if (error != nullptr)
    return Fail(result, std::string("delay-loads: ") + error);
  result.ok = true;
  return result;
}
