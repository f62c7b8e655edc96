#include "platform/spill_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/fault_injection.h"
#include "platform/file_exception.h"
#include "platform/spill_file_os.h"

namespace platform {
namespace {

using fault::Operation;

// Once on the disk, bytes move to and from the system in blocks of this size.
constexpr size_t kBlockSize = size_t{1} << 20;

}  // namespace

class CSpillFile::Impl {
 public:
  Impl(const CString& report_path, size_t memory_limit)
      : report_path_(report_path), memory_limit_(memory_limit) {}

  ~Impl() {
    if (handle_ != os::kNoHandle) os::Close(handle_);
  }

  uint64_t size() const { return size_; }

  void Write(std::string_view bytes) {
    if (bytes.empty()) return;
    if (handle_ == os::kNoHandle) {
      if (bytes.size() <= memory_limit_ - size_) {
        Reserve(static_cast<size_t>(size_) + bytes.size());
        std::memcpy(memory_.get() + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
        return;
      }
      MoveToDisk();
    }
    if (used_ + bytes.size() > kBlockSize) FlushBlock();
    if (bytes.size() >= kBlockSize) {
      WriteToSystem(bytes.data(), bytes.size());
    } else {
      std::memcpy(block_.get() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
    }
    size_ += bytes.size();
  }

  void Seek(uint64_t offset) {
    if (!reading_) {
      FlushBlock();
      reading_ = true;
    }
    position_ = std::min(offset, size_);
  }

  size_t Read(char* buffer, size_t size) {
    if (!reading_) Seek(0);
    size = static_cast<size_t>(std::min<uint64_t>(size, size_ - position_));
    if (size == 0) return 0;
    if (handle_ == os::kNoHandle) {
      std::memcpy(buffer, memory_.get() + position_, size);
    } else if (position_ >= block_offset_ && position_ < block_offset_ + block_size_) {
      size = std::min(size, static_cast<size_t>(block_offset_ + block_size_ - position_));
      std::memcpy(buffer, block_.get() + (position_ - block_offset_), size);
    } else if (size >= kBlockSize) {
      ReadFromSystem(position_, buffer, size);
    } else {
      // Small reads go through the block, so that records read one by one, and seeks a little
      // way ahead, cost no system call each.
      const size_t block = static_cast<size_t>(std::min<uint64_t>(kBlockSize, size_ - position_));
      block_size_ = 0;
      ReadFromSystem(position_, block_.get(), block);
      block_offset_ = position_;
      block_size_ = block;
      std::memcpy(buffer, block_.get(), size);
    }
    position_ += size;
    return size;
  }

 private:
  char* Allocate(size_t size) {
    if (const long error = fault::Check(Operation::kAllocate)) {
      throw CFileException(CFileException::outOfMemory, report_path_, error);
    }
    char* memory = new (std::nothrow) char[size];
    if (memory == nullptr) throw CFileException(CFileException::outOfMemory, report_path_);
    return memory;
  }

  // Grows the memory geometrically, never past the limit, so that small contents stay small.
  void Reserve(size_t needed) {
    if (needed <= capacity_) return;
    const size_t capacity =
        std::min(memory_limit_, std::max({needed, capacity_ * 2, size_t{4096}}));
    std::unique_ptr<char[]> memory(Allocate(capacity));
    if (size_ > 0) std::memcpy(memory.get(), memory_.get(), static_cast<size_t>(size_));
    memory_ = std::move(memory);
    capacity_ = capacity;
  }

  void MoveToDisk() {
    block_.reset(Allocate(kBlockSize));
    long error = fault::Check(Operation::kOpen);
    os::Handle handle = os::kNoHandle;
    if (error == 0) error = os::CreateSpillFile(&handle);
    if (error != 0) CFileException::ThrowOsError(error, report_path_, true);
    handle_ = handle;
    if (size_ > 0) WriteToSystem(memory_.get(), static_cast<size_t>(size_));
    memory_.reset();
    capacity_ = 0;
  }

  void FlushBlock() {
    if (used_ == 0) return;
    const size_t used = used_;
    used_ = 0;
    WriteToSystem(block_.get(), used);
  }

  void WriteToSystem(const char* data, size_t size) {
    long error = fault::Check(Operation::kWrite);
    if (error == 0) error = os::WriteAll(handle_, data, size);
    if (error != 0) CFileException::ThrowOsError(error, report_path_, true);
    file_position_ += size;
  }

  void ReadFromSystem(uint64_t offset, char* data, size_t size) {
    if (file_position_ != offset) {
      long error = fault::Check(Operation::kSeek);
      if (error == 0) error = os::SeekTo(handle_, offset);
      if (error != 0) CFileException::ThrowOsError(error, report_path_, false);
      file_position_ = offset;
    }
    while (size > 0) {
      size_t got = 0;
      long error = fault::Check(Operation::kRead);
      if (error == 0) error = os::Read(handle_, data, size, &got);
      if (error != 0) CFileException::ThrowOsError(error, report_path_, false);
      // The file holds every byte written; a short file means the system lost some.
      if (got == 0) throw CFileException(CFileException::readError, report_path_);
      file_position_ += got;
      data += got;
      size -= got;
    }
  }

  CString report_path_;
  size_t memory_limit_;
  uint64_t size_ = 0;
  // In memory: the first size_ bytes of memory_.
  std::unique_ptr<char[]> memory_;
  size_t capacity_ = 0;
  // On the disk: the file, and a block that collects writes, then serves reads.
  os::Handle handle_ = os::kNoHandle;
  std::unique_ptr<char[]> block_;
  uint64_t file_position_ = 0;
  size_t used_ = 0;  // writing: bytes waiting in block_
  bool reading_ = false;
  uint64_t position_ = 0;  // reading: the offset of the next byte Read gives
  uint64_t block_offset_ = 0;
  size_t block_size_ = 0;  // reading: block_ holds the file's bytes from block_offset_ on
};

CSpillFile::CSpillFile(const CString& report_path, size_t memory_limit)
    : impl_(std::make_unique<Impl>(report_path, memory_limit)) {}
CSpillFile::~CSpillFile() = default;
void CSpillFile::Write(std::string_view bytes) { impl_->Write(bytes); }
uint64_t CSpillFile::size() const { return impl_->size(); }
void CSpillFile::Seek(uint64_t offset) { impl_->Seek(offset); }
size_t CSpillFile::Read(char* buffer, size_t size) { return impl_->Read(buffer, size); }

}  // namespace platform
