#include "convert/output_pair.h"

#include <string_view>

#include "platform/code_page.h"
#include "platform/file_exception.h"
#include "platform/path.h"

namespace convert {

using platform::CFile;
using platform::CFileException;
using platform::CStdioFile;
using platform::CString;

namespace {

constexpr size_t kExtensionLength = 3;

bool IsCharacterBoundary(const CString& text, size_t offset) {
  const platform::CodePage& page = platform::CodePage::System();
  size_t at = 0;
  while (at < offset) at += page.CharLength(text.GetString() + at, text.GetLength() - at);
  return at == offset;
}

// Renaming an output over a name of the input (the same name, another case of it, a link or a
// hard link) would destroy the input, so such an input is refused before any output exists.
void RefuseOutputThatIsInput(const CString& output_path, const CStdioFile& input,
                             const CString& input_path) {
  platform::FileIdentity output;
  if (platform::GetFileIdentity(output_path, &output) && output == input.GetIdentity()) {
    throw CFileException(CFileException::sameAsInput, input_path);
  }
}

}  // namespace

CString MakeSiblingPath(const CString& path, const char* extension) {
  const std::string_view text = path.view();
  if (text.size() <= kExtensionLength) {
    throw CFileException(CFileException::nameTooShort, path);
  }
  const size_t kept = text.size() - kExtensionLength;
  if (text.substr(kept).find_first_of(platform::kFolderEnds) != std::string_view::npos ||
      platform::IsFolderEnd(text[kept - 1])) {
    throw CFileException(CFileException::nameTooShort, path);
  }
  // Cutting a double-byte character in two would join its lead byte to the new extension and
  // make a name the user never chose.
  if (!IsCharacterBoundary(path, kept)) {
    throw CFileException(CFileException::nameTooShort, path);
  }
  return path.Left(kept) + extension;
}

CString MakeOutputPath(const CString& path, const CString& output_folder, const char* extension) {
  CString sibling = MakeSiblingPath(path, extension);
  if (output_folder.IsEmpty()) return sibling;
  CString output = output_folder;
  if (!platform::IsFolderEnd(output_folder.view().back())) output += platform::kFolderEnds[0];
  return output += platform::SplitPath(sibling.view()).name;
}

OutputPair::OutputPair(const CString& input_path, const CString& output_folder)
    : mid_path_(MakeOutputPath(input_path, output_folder, "mid")),
      mif_path_(MakeOutputPath(input_path, output_folder, "mif")),
      input_(input_path, CFile::modeRead) {
  RefuseOutputThatIsInput(mid_path_, input_, input_path);
  RefuseOutputThatIsInput(mif_path_, input_, input_path);
  mid_.emplace(mid_path_);
  mif_.emplace(mif_path_);
}

void OutputPair::Commit() {
  // Both outputs are on disk before either replaces its old file, and the old MID comes back
  // if the MIF cannot replace its own: the pair is never left half new.
  mid_->Finish();
  mif_->Finish();
  mid_->Commit();
  try {
    mif_->Commit();
  } catch (...) {
    mid_->Rollback();
    throw;
  }
}

}  // namespace convert
