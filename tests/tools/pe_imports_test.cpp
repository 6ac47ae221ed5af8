// Reading what an image imports, and the list of what a shipped one may:
// small images made here byte by byte, whole and damaged.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/pe_imports/allowed_dlls.h"
#include "tools/pe_imports/pe_imports.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

void Put16(Bytes &b, std::size_t at, std::uint16_t v) {
  b[at] = std::uint8_t(v);
  b[at + 1] = std::uint8_t(v >> 8);
}
void Put32(Bytes &b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = std::uint8_t(v >> (8 * i));
}
void Put64(Bytes &b, std::size_t at, std::uint64_t v) {
  Put32(b, at, std::uint32_t(v));
  Put32(b, at + 4, std::uint32_t(v >> 32));
}

struct Spec {
  bool pe32Plus = true;
  Names dlls;
  Names delayDlls;
  bool oldStyleDelay = false; // names as addresses (32-bit images of old linkers)
  std::string extra;          // more bytes in the section (a manifest's text)
  std::uint32_t directoryCount = 16;
};

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::size_t kSectionOffset = 0x200;
constexpr std::uint64_t kImageBase32 = 0x400000;
constexpr std::uint64_t kImageBase64 = 0x140000000;

// One section holding the descriptor tables, then `extra`, then the names,
// so that the file ends with the last name's NUL.
Bytes Build(const Spec &spec) {
  const std::size_t optionalSize = spec.pe32Plus ? 240 : 224;
  Bytes b(kSectionOffset, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  b[0x40] = 'P';
  b[0x41] = 'E';
  const std::size_t coff = 0x44, optional = coff + 20;
  Put16(b, coff, spec.pe32Plus ? 0x8664 : 0x14C);
  Put16(b, coff + 2, 1);
  Put16(b, coff + 16, std::uint16_t(optionalSize));
  Put16(b, optional, spec.pe32Plus ? 0x20B : 0x10B);
  if (spec.pe32Plus)
    Put64(b, optional + 24, kImageBase64);
  else
    Put32(b, optional + 28, std::uint32_t(kImageBase32));
  Put32(b, optional + 60, std::uint32_t(kSectionOffset)); // SizeOfHeaders
  const std::size_t directories = optional + (spec.pe32Plus ? 112 : 96);
  Put32(b, directories - 4, spec.directoryCount);

  const std::size_t importTable = 0;
  const std::size_t delayTable = importTable + (spec.dlls.size() + 1) * 20;
  const std::size_t extraAt = delayTable + (spec.delayDlls.size() + 1) * 32;
  std::size_t namesAt = extraAt + spec.extra.size();
  Bytes section(namesAt, 0);
  for (std::size_t i = 0; i < spec.extra.size(); ++i)
    section[extraAt + i] = std::uint8_t(spec.extra[i]);
  auto addName = [&](const std::string &name) {
    const std::uint32_t rva = std::uint32_t(kSectionRva + section.size());
    section.insert(section.end(), name.begin(), name.end());
    section.push_back(0);
    return rva;
  };
  for (std::size_t i = 0; i < spec.dlls.size(); ++i)
    Put32(section, importTable + i * 20 + 12, addName(spec.dlls[i]));
  for (std::size_t i = 0; i < spec.delayDlls.size(); ++i) {
    const std::uint32_t rva = addName(spec.delayDlls[i]);
    const std::size_t at = delayTable + i * 32;
    Put32(section, at, spec.oldStyleDelay ? 0 : 1);
    Put32(section, at + 4, spec.oldStyleDelay ? std::uint32_t(kImageBase32 + rva) : rva);
  }
  if (!spec.dlls.empty()) {
    Put32(b, directories + 8, std::uint32_t(kSectionRva + importTable));
    Put32(b, directories + 12, std::uint32_t(delayTable - importTable));
  }
  if (!spec.delayDlls.empty()) {
    Put32(b, directories + 13 * 8, std::uint32_t(kSectionRva + delayTable));
    Put32(b, directories + 13 * 8 + 4, std::uint32_t(extraAt - delayTable));
  }

  const std::size_t table = optional + optionalSize;
  std::memcpy(&b[table], ".idata", 6);
  Put32(b, table + 8, std::uint32_t(section.size()));  // VirtualSize
  Put32(b, table + 12, kSectionRva);                   // VirtualAddress
  Put32(b, table + 16, std::uint32_t(section.size())); // SizeOfRawData
  Put32(b, table + 20, std::uint32_t(kSectionOffset)); // PointerToRawData
  b.insert(b.end(), section.begin(), section.end());
  return b;
}

PeImports Read(const Bytes &b) { return ReadPeImports(b.data(), b.size()); }

TEST(PeImports, ReadsBothDirectoriesOfBothWidths) {
  struct {
    const char *what;
    Spec spec;
  } cases[] = {
      {"64-bit", {true, {"KERNEL32.dll", "zlib1.dll"}, {}, false, "", 16}},
      {"32-bit", {false, {"KERNEL32.dll", "zlib1.dll"}, {}, false, "", 16}},
      {"delay-loaded", {true, {"USER32.dll"}, {"VERSION.dll", "uxtheme.dll"}, false, "", 16}},
      {"delay-loaded, old linker", {false, {"USER32.dll"}, {"VERSION.dll"}, true, "", 16}},
      {"no imports at all", {true, {}, {}, false, "", 16}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const PeImports imports = Read(Build(c.spec));
    ASSERT_TRUE(imports.ok) << imports.error;
    EXPECT_EQ(c.spec.pe32Plus, imports.pe32Plus);
    EXPECT_EQ(c.spec.dlls, imports.dlls);
    EXPECT_EQ(c.spec.delayDlls, imports.delayDlls);
  }
  // Directories beyond the count the header gives do not exist.
  Spec fewDirectories{true, {"zlib1.dll"}, {}, false, "", 1};
  const PeImports imports = Read(Build(fewDirectories));
  ASSERT_TRUE(imports.ok);
  EXPECT_EQ(Names(), imports.dlls);
}

TEST(PeImports, EveryShortenedFileIsRefused) {
  const Bytes whole = Build({true, {"KERNEL32.dll", "zlib1.dll"}, {"VERSION.dll"}, false, "", 16});
  ASSERT_TRUE(Read(whole).ok);
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(size));
    const PeImports imports = ReadPeImports(cut.data(), cut.size());
    EXPECT_FALSE(imports.ok) << size << " bytes";
    EXPECT_FALSE(imports.error.empty());
    EXPECT_TRUE(imports.dlls.empty() && imports.delayDlls.empty());
  }
}

TEST(PeImports, DamagedImagesAreRefused) {
  const Spec spec{true, {"KERNEL32.dll", "zlib1.dll"}, {}, false, "", 16};
  const Bytes whole = Build(spec);
  const std::size_t optional = 0x44 + 20, directories = optional + 112;
  struct {
    const char *what;
    std::size_t at;
    std::uint32_t value;
    int width;
  } damages[] = {
      {"no MZ", 0, 'X', 1},
      {"no PE signature", 0x41, 'X', 1},
      {"e_lfanew beyond the file", 0x3C, 0x7FFFFFF0u, 4},
      {"unknown magic", optional, 0x107, 2},
      {"optional header longer than the file", 0x44 + 16, 0xFFFF, 2},
      {"section table beyond the file", 0x44 + 2, 0xFFFF, 2},
      {"import table outside every section", directories + 8, 0x7FFF0000u, 4},
      {"import table at the section's very end", directories + 8,
       kSectionRva + std::uint32_t(whole.size() - kSectionOffset) - 4, 4},
      {"last name without its end", whole.size() - 1, 'x', 1},
  };
  for (const auto &d : damages) {
    SCOPED_TRACE(d.what);
    Bytes b = whole;
    if (d.width == 1)
      b[d.at] = std::uint8_t(d.value);
    else if (d.width == 2)
      Put16(b, d.at, std::uint16_t(d.value));
    else
      Put32(b, d.at, d.value);
    const PeImports imports = Read(b);
    EXPECT_FALSE(imports.ok);
    EXPECT_TRUE(imports.dlls.empty());
  }
}

TEST(AllowedImports, WindowsOwnOnly) {
  struct {
    const char *what;
    Spec spec;
    Names problemsMention; // one problem per entry, naming it
  } cases[] = {
      {"the program's imports today, any case",
       {true,
        {"ADVAPI32.dll", "COMCTL32.DLL", "comdlg32.dll", "GDI32.dll", "KERNEL32.dll",
         "msvcrt.dll", "SHELL32.dll", "SHLWAPI.dll", "USER32.dll"},
        {},
        false,
        "<assemblyIdentity name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"/>",
        16},
       {}},
      {"Wine's zlib1", {true, {"KERNEL32.dll", "zlib1.dll"}, {}, false, "", 16}, {"zlib1.dll"}},
      {"the version library, not a known DLL",
       {false, {"VERSION.dll"}, {}, false, "", 16},
       {"VERSION.dll"}},
      {"MinGW's runtime",
       {true, {"libstdc++-6.dll", "libwinpthread-1.dll"}, {}, false, "", 16},
       {"libstdc++-6.dll", "libwinpthread-1.dll"}},
      {"an API set", {true, {"api-ms-win-crt-runtime-l1-1-0.dll"}, {}, false, "", 16},
       {"api-ms-win-crt-runtime-l1-1-0.dll"}},
      {"delay-loaded counts too",
       {true, {"KERNEL32.dll"}, {"VERSION.dll"}, false, "", 16},
       {"delay-loads VERSION.dll"}},
      {"common controls without the manifest that redirects them",
       {true, {"COMCTL32.dll"}, {}, false, "", 16},
       {"without a manifest"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes b = Build(c.spec);
    const std::vector<std::string> problems = ImportProblems(Read(b), b.data(), b.size());
    ASSERT_EQ(c.problemsMention.size(), problems.size()) << testing::PrintToString(problems);
    for (std::size_t i = 0; i < problems.size(); ++i)
      EXPECT_NE(std::string::npos, problems[i].find(c.problemsMention[i])) << problems[i];
  }
  const Bytes garbage(100, 0x5A);
  const std::vector<std::string> unreadable =
      ImportProblems(ReadPeImports(garbage.data(), garbage.size()), garbage.data(), garbage.size());
  ASSERT_EQ(1u, unreadable.size());
  EXPECT_NE(std::string::npos, unreadable[0].find("not a readable Windows image"));
}

} // namespace
