#include "convert/output_pair.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "platform/file_exception.h"

namespace convert {
namespace {

using platform::CFileException;
using platform::CString;

TEST(MakeSiblingPathTest, Table) {
  const struct {
    CString path;
    const char* mid;  // nullptr: refused
  } rows[] = {
    {"/maps/route.kml", "/maps/route.mid"},
    {"/maps/routes", "/maps/roumid"},
    {"abcd", "amid"},
    {"/maps/abcd", "/maps/amid"},
    {"/maps/abc", nullptr},  // nothing of the name left
    {"/maps/ab", nullptr},   // would reach into the folder
    {"/maps/a", nullptr},
    {"/maps/", nullptr},
    {"abc", nullptr},
    {"ab", nullptr},
    {"", nullptr},
#if defined(_WIN32)
    {"C:\\maps\\route.kml", "C:\\maps\\route.mid"},
    {"C:\\maps\\routes", "C:\\maps\\roumid"},
    {"C:\\maps\\ab", nullptr},
    {"C:\\maps/ab", nullptr},
    {"C:\\abc", nullptr},
    {"C:abc", nullptr},
    {"C:ab", nullptr},
#endif
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path.str());
    if (row.mid != nullptr) {
      EXPECT_EQ(MakeSiblingPath(row.path, "mid").str(), row.mid);
      continue;
    }
    try {
      MakeSiblingPath(row.path, "mid");
      ADD_FAILURE() << "accepted";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, CFileException::nameTooShort);
      EXPECT_EQ(error.m_strFileName, row.path);
    }
  }
}

// Losing three bytes must not cut a double-byte character in two: its lead byte would join
// the new extension ("\xC2" "mid" reads as another character followed by "id" in GBK).
TEST(MakeSiblingPathTest, NeverSplitsACharacter) {
  const struct {
    const platform::CodePage page;
    CString path;
    const char* mid;  // nullptr: refused
  } rows[] = {
      {platform::CodePage::Gbk(), "/maps/\xC2\xB7\xCF\xDF", nullptr},
      {platform::CodePage::Gbk(), "/maps/\xC2\xB7\xCF\xDF.kml", "/maps/\xC2\xB7\xCF\xDF.mid"},
      {platform::CodePage::Gbk(), "/maps/ab\xC2\xB7x", "/maps/abmid"},
      {platform::CodePage::Gbk(), "/maps/a\xC2\x40x", "/maps/amid"},
      {platform::CodePage::Utf8(), "/maps/a\xE8\xB7\xAF", "/maps/amid"},
      {platform::CodePage::Utf8(), "/maps/a\xE8\xB7\xAFx", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path.str());
    platform::ScopedCodePage page(row.page);
    if (row.mid != nullptr) {
      EXPECT_EQ(MakeSiblingPath(row.path, "mid").str(), row.mid);
    } else {
      EXPECT_THROW(MakeSiblingPath(row.path, "mid"), CFileException);
    }
  }
}

TEST(MakeOutputPathTest, TheFileNameGoesIntoTheOutputFolder) {
#if defined(_WIN32)
  const char* const rows[][3] = {
      {"C:\\maps\\route.kml", "", "C:\\maps\\route.mif"},
      {"C:\\maps\\route.kml", "D:\\out", "D:\\out\\route.mif"},
      {"maps/route.kml", "out\\", "out\\route.mif"},
      {"route.kml", "D:", "D:route.mif"},
  };
#else
  const char* const rows[][3] = {
      {"/maps/route.kml", "", "/maps/route.mif"},
      {"/maps/route.kml", "/out", "/out/route.mif"},
      {"route.kml", "out/", "out/route.mif"},
      {"a.b.kmz", "o", "o/a.b.mif"},
  };
#endif
  for (const auto& row : rows) {
    EXPECT_EQ(MakeOutputPath(row[0], row[1], "mif").str(), row[2]) << row[0] << " " << row[1];
  }
  EXPECT_THROW(MakeOutputPath("/maps/ab", "/out", "mif"), CFileException);
}

}  // namespace
}  // namespace convert
