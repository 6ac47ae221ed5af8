#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/module_path.h"
#include "app/version_info.h"
#include "support/test_paths.h"

TEST(VersionInfo, FormatVersionPartsMajorFirst) {
  EXPECT_EQ(L"1.6.201.1004", FormatVersion(MakeFileVersion(1, 6, 201, 1004)));
  EXPECT_EQ(L"0.0.0.0", FormatVersion(0));
  EXPECT_EQ(L"65535.65535.65535.65535", FormatVersion(~FileVersion(0)));
  EXPECT_EQ(L"10.0.7.0", FormatVersion(MakeFileVersion(10, 0, 7, 0)));
}

TEST(VersionInfo, BuildDateFromVersion) {
  struct Case {
    FileVersion version;
    std::uint32_t day;
    const wchar_t *dotted, *iso, *compact;
  } cases[] = {
      {MakeFileVersion(1, 6, 201, 1004), 41121, L"16.07.2006", L"2006-07-16", L"20060716"},
      {MakeFileVersion(1, 6, 0, 9), 40920, L"01.01.2006", L"2006-01-01", L"20060101"},
      {MakeFileVersion(2, 0, 364, 1), 42772, L"24.12.2010", L"2010-12-24", L"20101224"},
      // A build beyond 371 runs on into the next year.
      {MakeFileVersion(1, 6, 372, 0), 41292, L"01.01.2007", L"2007-01-01", L"20070101"},
      {MakeFileVersion(1, 6, 402, 0), 41322, L"31.01.2007", L"2007-01-31", L"20070131"},
      // A zero version is day 0, not 372 × 94.
      {0, 0, L"01.01.1896", L"1896-01-01", L"18960101"},
      // The revision carries no date.
      {MakeFileVersion(0, 0, 0, 5), 34968, L"01.01.1990", L"1990-01-01", L"19900101"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(FormatVersion(c.version).c_str());
    EXPECT_EQ(c.day, VersionToDayNumber(c.version));
    EXPECT_EQ(c.dotted, FormatDayNumber(c.day, 1));
    EXPECT_EQ(c.iso, FormatDayNumber(c.day, 16));
    EXPECT_EQ(c.compact, FormatDayNumber(c.day, 256));
  }
}

TEST(VersionInfo, DayNumberYearWrapsAtTenThousand) {
  // 8104 years of 372 days after 1896 is year 10000, shown as 0000.
  EXPECT_EQ(L"01.01.0000", FormatDayNumber(8104u * 372u, 1));
  EXPECT_EQ(L"31.12.3051", FormatDayNumber(1155u * 372u + 371u, 1));
}

TEST(VersionInfo, UnknownStylesGiveEmptyText) {
  for (std::uint32_t style : {0u, 2u, 15u, 17u, 255u, 257u, 0xFFFFFFFFu})
    EXPECT_EQ(L"", FormatDayNumber(41121, style)) << style;
}

TEST(VersionInfo, LongPathPrefixes) {
  const std::pair<const wchar_t *, const wchar_t *> cases[] = {
      {L"\\\\?\\C:\\Program Files\\zv.exe", L"C:\\Program Files\\zv.exe"},
      {L"\\\\?\\UNC\\server\\share\\zv.exe", L"\\\\server\\share\\zv.exe"},
      {L"\\\\server\\share\\zv.exe", L"\\\\server\\share\\zv.exe"},
      {L"C:\\zv.exe", L"C:\\zv.exe"},
      {L"\\\\?\\", L""},
      {L"\\\\?\\UNC\\", L"\\\\"},
      {L"\\\\?", L"\\\\?"},
      {L"\\\\.\\C:\\zv.exe", L"\\\\.\\C:\\zv.exe"},
      {L"", L""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(c.second, StripLongPathPrefix(c.first)) << c.first;
}

TEST(ModuleVersion, ProgramCarriesItsBuildDate) {
  const std::wstring program = TestBinPath(L"zvcopier.exe");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(program.c_str()));
  EXPECT_EQ(MakeFileVersion(1, 6, 201, 1004), GetFileVersion(program));
  EXPECT_EQ(41121u, VersionDayNumber(program));
  EXPECT_EQ(L"16.07.2006", FormatDayNumber(VersionDayNumber(program), 1));
}

TEST(ModuleVersion, FilesWithoutVersionReadAsZero) {
  // The test executable has no version resource.
  const std::wstring self = GetModulePath(nullptr);
  const std::wstring missing = TestBinPath(L"no-such-file.dll");
  for (const std::wstring &path : {self, missing}) {
    EXPECT_EQ(0u, GetFileVersion(path)) << path;
    EXPECT_EQ(0u, VersionDayNumber(path));
    EXPECT_EQ(L"0.0.0.0", FormatVersion(GetFileVersion(path)));
    EXPECT_EQ(L"01.01.1896", FormatDayNumber(VersionDayNumber(path), 1));
  }
}

TEST(ModulePath, OwnModuleAndUnknownModule) {
  wchar_t expected[MAX_PATH];
  GetModuleFileNameW(nullptr, expected, MAX_PATH);
  EXPECT_EQ(expected, GetModulePath(nullptr));
  EXPECT_EQ(L"", GetModulePath(reinterpret_cast<HMODULE>(0x12340000)));
}

TEST(ModulePath, PathLongerThanTheFirstBufferComesBackWhole) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
  std::wstring dir = std::wstring(L"\\\\?\\") + temp + L"zv-long-path";
  std::wstring plainDir = std::wstring(temp) + L"zv-long-path";
  CreateDirectoryW(dir.c_str(), nullptr);
  for (int i = 0; i < 8; ++i) {
    const std::wstring part = L"\\" + std::wstring(60, wchar_t(L'a' + i));
    dir += part;
    plainDir += part;
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  const std::wstring target = dir + L"\\plain_module.dll";
  ASSERT_GT(target.size(), 530u);
  ASSERT_TRUE(CopyFileW(TestBinPath(L"plain_module.dll").c_str(), target.c_str(), FALSE));
  HMODULE module = LoadLibraryW(target.c_str());
  ASSERT_NE(nullptr, module) << GetLastError();
  const std::wstring path = GetModulePath(module);
  FreeLibrary(module);
  DeleteFileW(target.c_str());
  EXPECT_EQ(plainDir + L"\\plain_module.dll", path);
}
