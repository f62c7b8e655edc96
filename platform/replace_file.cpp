#include "platform/replace_file.h"

#include <memory>
#include <new>
#include <string>

#include "platform/fault_injection.h"
#include "platform/stdio_file_os.h"
#include "platform/text_file.h"

namespace platform {

using fault::Operation;

// The temporary is created beside the target, so that the rename stays within one folder
// (and one file system), and exclusively, so that it is ours alone. The old target is kept
// under a backup name beside it until the object ends, so that Rollback can put it back.
class CReplaceFile::Impl {
 public:
  explicit Impl(const CString& target)
      : target_(target),
        destination_(os::ReplacementTarget(target)),
        native_destination_(os::MakeNativePath(destination_)) {
    os::Handle hold = os::kNoHandle;
    const os::OpenResult checked = HoldTarget(&hold);
    os::Release(hold);
    if (checked.cause != CFileException::none) {
      throw CFileException(checked.cause, target_, checked.error);
    }
    uint64_t seed = os::UniqueSeed();
    bool short_name = false;
    for (int attempt = 0;; ++attempt) {
      seed = seed * 6364136223846793005u + 1442695040888963407u;
      const CString stem = UniqueStem(seed, short_name);
      temporary_ = stem + ".tmp";
      // Every name that Commit and Rollback use is ready before the temporary exists.
      native_temporary_ = os::MakeNativePath(temporary_);
      native_backup_ = os::MakeNativePath(stem + ".old");
      try {
        file_ = std::make_unique<TextFile>(temporary_, os::OpenMode::kCreateNew, target_);
        return;
      } catch (const CFileException& error) {
        if (attempt < 100 && os::IsAlreadyExists(error.m_lOsError)) continue;
        if (!short_name && os::IsNameTooLong(error.m_lOsError)) {
          short_name = true;
          continue;
        }
        throw;
      }
    }
  }

  ~Impl() {
    switch (state_) {
      case State::kWriting:
        file_.reset();
        os::Remove(native_temporary_);
        break;
      case State::kCommitted:
        if (backup_kept_) os::Remove(native_backup_);
        break;
      case State::kRolledBack:
        break;  // a backup that could not be put back stays, the only copy of the old content
    }
  }

  void Write(std::string_view text) { file_->Write(text); }
  void WriteRaw(std::string_view bytes) { file_->WriteRaw(bytes); }
  void Reserve(uint64_t size) { file_->Reserve(size); }

  // Closing is part of finishing: close() may still report a write error (network file
  // systems do), and once the first of several outputs is renamed, Commit must only fail on
  // the rename.
  void Finish() {
    file_->Flush();
    file_->Close();
  }

  void Commit() {
    os::Handle hold = os::kNoHandle;
    const os::OpenResult checked = HoldTarget(&hold);
    if (checked.cause != CFileException::none) {
      throw CFileException(checked.cause, target_, checked.error);
    }
    os::KeepPermissions(native_destination_, native_temporary_);
    long error = KeepOldTarget();
    if (error == 0) {
      error = fault::Check(Operation::kRename);
      if (error == 0) error = os::Rename(native_temporary_, native_destination_);
      if (error != 0) DropBackup();
    }
    os::Release(hold);
    if (error != 0) CFileException::ThrowOsError(error, target_, true);
    state_ = State::kCommitted;
    // Only best effort from here on: the target is replaced, and an error now (say, no memory
    // for the folder's name) would fail a conversion that has taken place.
    SyncFolder();
  }

  void Rollback() noexcept {
    if (state_ != State::kCommitted) return;
    state_ = State::kRolledBack;
    if (!backup_kept_) {
      os::Remove(native_destination_);
    } else if (fault::Check(Operation::kRename) == 0 &&
               os::Rename(native_backup_, native_destination_) == 0) {
      backup_kept_ = false;
    }
    SyncFolder();
  }

 private:
  enum class State { kWriting, kCommitted, kRolledBack };

  os::OpenResult HoldTarget(os::Handle* hold) const {
    if (const long error = fault::Check(Operation::kHold)) {
      os::OpenResult failed;
      failed.cause = CFileException::OsErrorToCause(error, true);
      failed.error = error;
      return failed;
    }
    return os::HoldTarget(native_destination_, hold);
  }

  // Makes the old target, if there is one, reachable under the backup name: a second name of
  // the same file, so that the target never goes missing, or on file systems without hard
  // links the old target renamed aside, just before the temporary takes its name.
  long KeepOldTarget() {
    long error = fault::Check(Operation::kLink);
    if (error == 0) error = os::Link(native_destination_, native_backup_);
    if (error == 0) {
      backup_kept_ = true;
      return 0;
    }
    if (os::IsNotFound(error)) return 0;  // nothing to keep
    // A backup name taken by someone else is never renamed over.
    if (os::IsAlreadyExists(error)) return error;
    error = fault::Check(Operation::kRename);
    if (error == 0) error = os::Rename(native_destination_, native_backup_);
    if (error == 0) {
      backup_kept_ = true;
      moved_aside_ = true;
      return 0;
    }
    return os::IsNotFound(error) ? 0 : error;
  }

  // After a failed rename: the target as it was, and no backup.
  void DropBackup() {
    if (!backup_kept_) return;
    if (moved_aside_) {
      os::Rename(native_backup_, native_destination_);
    } else {
      os::Remove(native_backup_);
    }
    backup_kept_ = false;
  }

  void SyncFolder() noexcept {
    try {
      os::SyncFolderOf(destination_);
    } catch (const std::bad_alloc&) {
    }
  }

  CString UniqueStem(uint64_t seed, bool short_name) const {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string unique;
    for (int i = 0; i < 6; ++i) {
      unique += kDigits[seed % 36];
      seed /= 36;
    }
    const CString stem = short_name ? os::FolderPrefix(destination_) : destination_;
    return stem + (short_name ? "kml2mif-" : ".kml2mif-") + CString(unique);
  }

  CString target_;
  CString destination_;
  CString temporary_;
  os::NativePath native_destination_;
  os::NativePath native_temporary_;
  os::NativePath native_backup_;
  std::unique_ptr<TextFile> file_;
  State state_ = State::kWriting;
  bool backup_kept_ = false;  // the old target is reachable under the backup name
  bool moved_aside_ = false;  // ... because it was renamed there, not linked
};

CReplaceFile::CReplaceFile(const CString& target_path)
    : target_(target_path), impl_(std::make_unique<Impl>(target_path)) {}

CReplaceFile::~CReplaceFile() = default;

void CReplaceFile::Write(std::string_view text) { impl_->Write(text); }

void CReplaceFile::WriteRaw(std::string_view bytes) { impl_->WriteRaw(bytes); }

void CReplaceFile::Reserve(uint64_t size) { impl_->Reserve(size); }

void CReplaceFile::Finish() { impl_->Finish(); }

void CReplaceFile::Commit() { impl_->Commit(); }

void CReplaceFile::Rollback() noexcept { impl_->Rollback(); }

}  // namespace platform
