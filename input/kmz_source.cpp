#include "input/kmz_source.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/cstring.h"

namespace input {
namespace {

using platform::CFileException;
using platform::CStdioFile;
using platform::CString;

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kNoValue32 = 0xFFFFFFFF;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
// Compressed bytes read from the file at a time: with inflate's 32 KiB window and state this
// keeps the zip layer near 100 KiB whatever the entry's size.
constexpr size_t kInputSize = size_t{64} << 10;

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const unsigned char* p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }
uint64_t U64(const unsigned char* p) { return U32(p) | static_cast<uint64_t>(U32(p + 4)) << 32; }

// What is wrong with a damaged zip, in the two languages of the reports.
struct ZipFault {
  const char* chinese;
  const char* english;
};
constexpr ZipFault kCutShort = {"文件不完整。", "(the file is cut short)"};
constexpr ZipFault kBadDirectory = {"压缩文件的目录已损坏。", "(its directory is damaged)"};
constexpr ZipFault kNoDirectory = {"找不到压缩文件的目录。", "(it has no directory)"};
constexpr ZipFault kMultiVolume = {"不支持分卷压缩文件。", "(a zip in several volumes)"};
constexpr ZipFault kWrongLength = {"解压后的长度不符。", "(the inflated length is wrong)"};
constexpr ZipFault kWrongCrc = {"CRC 校验值不符。", "(the CRC check fails)"};

[[noreturn]] void Damaged(const CString& path, const ZipFault& fault) {
  throw CFileException(CFileException::badZip, path, fault.chinese, fault.english);
}

bool ReadExactly(CStdioFile& file, void* out, size_t size) {
  char* next = static_cast<char*>(out);
  while (size > 0) {
    const size_t count = file.ReadRaw(next, size);
    if (count == 0) return false;
    next += count;
    size -= count;
  }
  return true;
}

void ReadAt(CStdioFile& file, uint64_t offset, void* out, size_t size) {
  file.Seek(offset);
  if (!ReadExactly(file, out, size)) Damaged(file.GetFilePath(), kCutShort);
}

struct Directory {
  uint64_t entries = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct Entry {
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressed_size = 0;
  uint64_t size = 0;
  uint64_t header_offset = 0;
};

// The end record is the last thing in the file but for a comment of up to 64 KiB, which may
// itself hold the signature's bytes: the last candidate whose comment ends within the file wins.
Directory FindDirectory(CStdioFile& file) {
  const CString& path = file.GetFilePath();
  const uint64_t length = file.GetLength();
  if (length < kEndSize) Damaged(path, kCutShort);
  const size_t tail_size =
      static_cast<size_t>(std::min<uint64_t>(length, kEndSize + kMaxCommentSize));
  const uint64_t tail_offset = length - tail_size;
  std::vector<unsigned char> tail(tail_size);
  ReadAt(file, tail_offset, tail.data(), tail_size);
  size_t at = tail_size - kEndSize + 1;
  const unsigned char* end = nullptr;
  while (at-- > 0) {
    const unsigned char* candidate = tail.data() + at;
    if (U32(candidate) == kEndSignature && at + kEndSize + U16(candidate + 20) <= tail_size) {
      end = candidate;
      break;
    }
  }
  if (end == nullptr) Damaged(path, kNoDirectory);
  const uint64_t end_offset = tail_offset + at;

  Directory directory;
  uint32_t disk = U16(end + 4);
  uint32_t directory_disk = U16(end + 6);
  directory.entries = U16(end + 10);
  directory.size = U32(end + 12);
  directory.offset = U32(end + 16);
  uint64_t records_end = end_offset;
  if (end_offset >= kZip64LocatorSize) {
    unsigned char locator[kZip64LocatorSize];
    ReadAt(file, end_offset - kZip64LocatorSize, locator, sizeof locator);
    if (U32(locator) == kZip64LocatorSignature) {
      const uint64_t zip64_offset = U64(locator + 8);
      if (U32(locator + 16) > 1) Damaged(path, kMultiVolume);
      if (zip64_offset > end_offset - kZip64LocatorSize - kZip64EndSize) {
        Damaged(path, kBadDirectory);
      }
      unsigned char zip64_end[kZip64EndSize];
      ReadAt(file, zip64_offset, zip64_end, sizeof zip64_end);
      if (U32(zip64_end) != kZip64EndSignature) Damaged(path, kBadDirectory);
      disk = U32(zip64_end + 16);
      directory_disk = U32(zip64_end + 20);
      directory.entries = U64(zip64_end + 32);
      directory.size = U64(zip64_end + 40);
      directory.offset = U64(zip64_end + 48);
      records_end = zip64_offset;
    }
  }
  if (disk != 0 || directory_disk != 0) Damaged(path, kMultiVolume);
  if (directory.offset > records_end || directory.size > records_end - directory.offset ||
      directory.entries > directory.size / kCentralHeaderSize) {
    Damaged(path, kBadDirectory);
  }
  return directory;
}

// Sizes and offsets that do not fit in 32 bits stand in the zip64 extra field, in this order,
// each only where the record's own field holds 0xFFFFFFFF.
void ApplyZip64Extra(std::string_view extra, Entry& entry, const CString& path) {
  while (extra.size() >= 4) {
    const auto* header = reinterpret_cast<const unsigned char*>(extra.data());
    const size_t size = U16(header + 2);
    if (size > extra.size() - 4) Damaged(path, kBadDirectory);
    if (U16(header) == kZip64ExtraId) {
      const unsigned char* field = header + 4;
      const unsigned char* const fields_end = field + size;
      for (uint64_t* value : {&entry.size, &entry.compressed_size, &entry.header_offset}) {
        if (*value != kNoValue32) continue;
        if (fields_end - field < 8) Damaged(path, kBadDirectory);
        *value = U64(field);
        field += 8;
      }
      return;
    }
    extra.remove_prefix(4 + size);
  }
}

bool IsKmlName(std::string_view name) {
  return name.size() > 4 && platform::EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".kml");
}

uint64_t HashOf(std::string_view name) {
  uint64_t hash = 0xcbf29ce484222325;  // FNV-1a
  for (const char c : name) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001b3;
  }
  return hash;
}

// KML entries indexed by name: a KMZ of a million of them would take 16 MB; beyond this many
// the directory is read again for a name not found.
constexpr size_t kMaxIndexed = size_t{1} << 18;

}  // namespace

// How far the entries opened have read into the archive, shared by all of them.
struct ZipProgress {
  uint64_t start = 0;  // where the first entry's data begins
  uint64_t consumed = 0;
  bool started = false;
};

// One record of the zip's directory, with the name and extra fields it carries.
struct ZipArchive::Record {
  Entry entry;
  std::string variable;  // name, extra field, comment
  size_t name_size = 0;
  size_t extra_size = 0;
  std::string_view name() const { return std::string_view(variable).substr(0, name_size); }
  std::string_view extra() const {
    return std::string_view(variable).substr(name_size, extra_size);
  }
};

namespace {

class ZipEntrySource final : public ByteSource {
 public:
  ZipEntrySource(CStdioFile& file, const Entry& entry, uint64_t data_offset,
                 std::shared_ptr<ZipProgress> progress)
      : file_(file),
        entry_(entry),
        file_size_(file.GetLength()),
        next_offset_(data_offset),
        compressed_left_(entry.compressed_size),
        progress_(std::move(progress)) {
    if (entry_.method == kMethodDeflated) {
      input_ = std::make_unique<unsigned char[]>(kInputSize);
      // Raw deflate: the zip's own records stand where zlib's header and trailer would.
      if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) {
        throw CFileException(CFileException::outOfMemory, file_.GetFilePath());
      }
      inflating_ = true;
    }
    if (!progress_->started) {
      progress_->started = true;
      progress_->start = data_offset;
    }
  }
  ~ZipEntrySource() override {
    if (inflating_) inflateEnd(&stream_);
  }
  ZipEntrySource(const ZipEntrySource&) = delete;
  ZipEntrySource& operator=(const ZipEntrySource&) = delete;

  size_t Read(char* buffer, size_t size) override {
    if (ended_ || size == 0) return 0;
    // zlib counts in unsigned int.
    size = std::min<size_t>(size, UINT_MAX);
    const size_t count = inflating_ ? Inflate(buffer, size) : CopyStored(buffer, size);
    crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(count));
    produced_ += count;
    if (produced_ > entry_.size) Damaged(file_.GetFilePath(), kWrongLength);
    if (ended_) Verify();
    return count;
  }

  uint64_t FilePosition() const override {
    return std::min(file_size_, progress_->start + progress_->consumed);
  }
  uint64_t FileSize() const override { return file_size_; }

 private:
  // Other entries may have been read since this one last was: it reads from where it stopped.
  size_t ReadCompressed(char* buffer, size_t size) {
    if (file_.GetPosition() != next_offset_) file_.Seek(next_offset_);
    const size_t count =
        file_.ReadRaw(buffer, static_cast<size_t>(std::min<uint64_t>(size, compressed_left_)));
    if (count == 0) Damaged(file_.GetFilePath(), kCutShort);
    compressed_left_ -= count;
    next_offset_ += count;
    progress_->consumed += count;
    return count;
  }

  size_t CopyStored(char* buffer, size_t size) {
    if (compressed_left_ == 0) {
      ended_ = true;
      return 0;
    }
    const size_t count = ReadCompressed(buffer, size);
    ended_ = compressed_left_ == 0;
    return count;
  }

  // Inflate may consume input without giving output; it is fed until some comes or the stream
  // ends, so that 0 means the end.
  size_t Inflate(char* buffer, size_t size) {
    stream_.next_out = reinterpret_cast<Bytef*>(buffer);
    stream_.avail_out = static_cast<uInt>(size);
    while (stream_.avail_out == size) {
      if (stream_.avail_in == 0 && compressed_left_ > 0) {
        const size_t count = ReadCompressed(reinterpret_cast<char*>(input_.get()), kInputSize);
        stream_.next_in = input_.get();
        stream_.avail_in = static_cast<uInt>(count);
      }
      const int status = inflate(&stream_, Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        ended_ = true;
        break;
      }
      if (status == Z_MEM_ERROR) {
        throw CFileException(CFileException::outOfMemory, file_.GetFilePath());
      }
      if (status == Z_BUF_ERROR && stream_.avail_in == 0 && compressed_left_ == 0) {
        Damaged(file_.GetFilePath(), kCutShort);
      }
      if (status != Z_OK && status != Z_BUF_ERROR) {
        const char* what = stream_.msg != nullptr ? stream_.msg : "inflate";
        CString detail;
        detail.Format("解压出错（%s）。", what);
        CString english;
        english.Format("(inflating fails: %s)", what);
        throw CFileException(CFileException::badZip, file_.GetFilePath(), detail, english);
      }
    }
    return size - stream_.avail_out;
  }

  void Verify() const {
    const uint64_t unused = compressed_left_ + (inflating_ ? stream_.avail_in : 0);
    if (produced_ != entry_.size || unused != 0) {
      Damaged(file_.GetFilePath(), kWrongLength);
    }
    if (crc_ != entry_.crc) Damaged(file_.GetFilePath(), kWrongCrc);
  }

  CStdioFile& file_;
  const Entry entry_;
  const uint64_t file_size_;
  uint64_t next_offset_;  // of the next compressed byte in the file
  uint64_t compressed_left_;
  uint64_t produced_ = 0;
  uLong crc_ = crc32(0, nullptr, 0);
  bool inflating_ = false;
  bool ended_ = false;
  z_stream stream_ = {};
  std::unique_ptr<unsigned char[]> input_;
  const std::shared_ptr<ZipProgress> progress_;
};

}  // namespace

bool LooksLikeZip(std::string_view head) { return head.substr(0, 4) == "PK\x03\x04"; }

ZipArchive::ZipArchive(CStdioFile& file) : file_(file), progress_(std::make_shared<ZipProgress>()) {
  const CString& path = file.GetFilePath();
  const Directory directory = FindDirectory(file);
  directory_offset_ = directory.offset;
  directory_end_ = directory.offset + directory.size;
  entries_ = directory.entries;
  Record record;
  bool doc_kml = false;
  uint64_t offset = directory_offset_;
  for (uint64_t index = 0; index < entries_; ++index) {
    const uint64_t record_offset = offset;
    if (!doc_kml) {
      offset = NextRecord(offset, record);
    } else {
      // Past doc.kml a damaged record matters only to a link that looks for a name beyond it.
      try {
        offset = NextRecord(offset, record);
      } catch (const CFileException& error) {
        if (error.m_cause != CFileException::badZip) throw;
        index_complete_ = false;
        break;
      }
    }
    const std::string_view name = record.name();
    if (!IsKmlName(name)) continue;
    if (!doc_kml && platform::EqualsIgnoringAsciiCase(name, "doc.kml")) {
      doc_kml = true;
      main_entry_ = name;
    } else if (main_entry_.empty()) {
      main_entry_ = name;
    }
    if (index_.size() < kMaxIndexed) {
      index_.emplace_back(HashOf(name), record_offset);
    } else {
      index_complete_ = false;
    }
  }
  if (main_entry_.empty()) throw CFileException(CFileException::noKmlInZip, path);
  std::sort(index_.begin(), index_.end());
}

ZipArchive::~ZipArchive() = default;

uint64_t ZipArchive::NextRecord(uint64_t offset, Record& record) {
  const CString& path = file_.GetFilePath();
  unsigned char header[kCentralHeaderSize];
  if (offset > directory_end_ || directory_end_ - offset < kCentralHeaderSize) {
    Damaged(path, kBadDirectory);
  }
  if (file_.GetPosition() != offset) file_.Seek(offset);
  if (!ReadExactly(file_, header, sizeof header)) Damaged(path, kCutShort);
  if (U32(header) != kCentralHeaderSignature) Damaged(path, kBadDirectory);
  record.name_size = U16(header + 28);
  record.extra_size = U16(header + 30);
  const size_t comment_size = U16(header + 32);
  const size_t variable_size = record.name_size + record.extra_size + comment_size;
  if (variable_size > directory_end_ - offset - kCentralHeaderSize) Damaged(path, kBadDirectory);
  record.variable.resize(variable_size);
  if (!ReadExactly(file_, record.variable.data(), variable_size)) Damaged(path, kCutShort);

  Entry& entry = record.entry;
  entry.flags = U16(header + 8);
  entry.method = U16(header + 10);
  entry.crc = U32(header + 16);
  entry.compressed_size = U32(header + 20);
  entry.size = U32(header + 24);
  entry.header_offset = U32(header + 42);
  return offset + kCentralHeaderSize + variable_size;
}

std::unique_ptr<ByteSource> ZipArchive::Open(std::string_view name) {
  if (!IsKmlName(name)) return nullptr;
  Record record;
  const uint64_t hash = HashOf(name);
  for (auto at = std::lower_bound(index_.begin(), index_.end(), std::make_pair(hash, uint64_t{0}));
       at != index_.end() && at->first == hash; ++at) {
    NextRecord(at->second, record);
    if (record.name() == name) return OpenRecord(record);
  }
  if (index_complete_) return nullptr;
  uint64_t offset = directory_offset_;
  for (uint64_t index = 0; index < entries_; ++index) {
    offset = NextRecord(offset, record);
    if (record.name() == name) return OpenRecord(record);
  }
  return nullptr;
}

std::unique_ptr<ByteSource> ZipArchive::OpenRecord(const Record& record) {
  const CString& path = file_.GetFilePath();
  Entry entry = record.entry;
  ApplyZip64Extra(record.extra(), entry, path);
  if (entry.flags & kFlagEncrypted) throw CFileException(CFileException::encryptedZip, path);
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
    CString detail;
    detail.Format("不支持的压缩方法 %d。", static_cast<int>(entry.method));
    CString english;
    english.Format("(compression method %d is not supported)", static_cast<int>(entry.method));
    throw CFileException(CFileException::badZip, path, detail, english);
  }
  if (entry.method == kMethodStored && entry.compressed_size != entry.size) {
    Damaged(path, kWrongLength);
  }
  unsigned char header[kLocalHeaderSize];
  if (directory_offset_ < kLocalHeaderSize ||
      entry.header_offset > directory_offset_ - kLocalHeaderSize) {
    Damaged(path, kBadDirectory);
  }
  ReadAt(file_, entry.header_offset, header, sizeof header);
  if (U32(header) != kLocalHeaderSignature) Damaged(path, kBadDirectory);
  const uint64_t data_offset =
      entry.header_offset + kLocalHeaderSize + U16(header + 26) + U16(header + 28);
  // The entry's data lies before the directory; a size reaching past it is a damaged record.
  if (data_offset > directory_offset_ || entry.compressed_size > directory_offset_ - data_offset) {
    Damaged(path, kBadDirectory);
  }
  return std::make_unique<ZipEntrySource>(file_, entry, data_offset, progress_);
}

}  // namespace input
