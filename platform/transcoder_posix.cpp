#include <errno.h>
#include <iconv.h>

#include <vector>

#include "platform/transcoder_block.h"

namespace platform {
namespace {

const char* IconvName(Charset charset) {
  switch (charset) {
    case Charset::kUtf8:
      return "UTF-8";
    case Charset::kUtf16Le:
      return "UTF-16LE";
    case Charset::kUtf16Be:
      return "UTF-16BE";
    case Charset::kLatin1:
      return "ISO-8859-1";
    case Charset::kAscii:
      return "ASCII";
    case Charset::kWindows1252:
      return "CP1252";
    case Charset::kGb18030:
      return "GB18030";
    case Charset::kCp936:
      return "CP936";
  }
  return "";
}

class IconvHandle {
 public:
  IconvHandle() = default;
  // Takes `handle` over; nothing between iconv_open and here may allocate, or a failing
  // allocation would lose the handle.
  void Reset(iconv_t handle) {
    if (valid()) iconv_close(handle_);
    handle_ = handle;
  }
  ~IconvHandle() {
    if (valid()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_ = reinterpret_cast<iconv_t>(-1);
};

enum class Stop { kDone, kCutOff, kInvalid };

// Runs iconv over all of `input`, appending to `output` through `scratch`; `*taken` is how far
// it got. The output goes through a fixed buffer rather than room made in `output`, so a stop
// every few characters (one per character the target lacks) costs no more than the text.
Stop RunIconv(iconv_t handle, std::string_view input, std::vector<char>& scratch,
              std::string& output, size_t* taken) {
  char* in = const_cast<char*>(input.data());
  size_t in_left = input.size();
  Stop stop = Stop::kDone;
  while (in_left > 0) {
    char* out = scratch.data();
    size_t out_left = scratch.size();
    const size_t result = iconv(handle, &in, &in_left, &out, &out_left);
    const int error = errno;
    output.append(scratch.data(), scratch.size() - out_left);
    if (result == static_cast<size_t>(-1) && error != E2BIG) {
      stop = error == EINVAL ? Stop::kCutOff : Stop::kInvalid;
      break;
    }
  }
  *taken = input.size() - in_left;
  return stop;
}

// Text goes from the source set to UTF-8, then from UTF-8 to the target: bytes iconv refuses
// in the first step are invalid input, characters it refuses in the second are ones the target
// cannot hold. UTF-8 sources are checked here, since glibc lets ill-formed UTF-8 through. The
// second step hands iconv wide characters, its own inner form: from UTF-8 it would take two
// steps and, at each character the target lacks, convert the text before it again.
class IconvTranscoder : public BlockTranscoder {
 public:
  IconvTranscoder(Charset from, Charset to) : from_(from), to_(to) {}

  bool Init() {
    if (from_ != Charset::kUtf8) {
      decoder_.Reset(iconv_open("UTF-8", IconvName(from_)));
      if (!decoder_.valid()) return false;
    }
    if (to_ != Charset::kUtf8) {
      encoder_.Reset(iconv_open(IconvName(to_), "WCHAR_T"));
      if (!encoder_.valid()) return false;
    }
    return true;
  }

 protected:
  std::optional<size_t> ConvertBlock(std::string_view input, std::string& output) override {
    std::string& utf8 = to_ == Charset::kUtf8 ? output : utf8_;
    utf8_.clear();
    const size_t utf8_start = utf8.size();
    size_t taken = 0;
    bool invalid = false;
    if (decoder_.valid()) {
      invalid = RunIconv(decoder_.get(), input, scratch_, utf8, &taken) == Stop::kInvalid;
    } else {
      taken = Utf8ValidPrefix(input, &invalid);
      if (to_ == Charset::kUtf8) {
        output.append(input.substr(0, taken));
      } else {
        utf8_.assign(input.substr(0, taken));
      }
    }
    if (to_ != Charset::kUtf8) Encode(std::string_view(utf8).substr(utf8_start), output);
    if (invalid) return std::nullopt;
    return taken;
  }

 private:
  void Encode(std::string_view utf8, std::string& output) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t at = 0;
    while (at < utf8.size()) {
      wide_.clear();
      while (at < utf8.size() && wide_.size() < kWideBlock) {
        const unsigned char lead = bytes[at];
        if (lead < 0x80) {
          wide_.push_back(lead);
          ++at;
          continue;
        }
        const size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) code = (code << 6) | (bytes[at + k] & 0x3F);
        wide_.push_back(static_cast<wchar_t>(code));
        at += length;
      }
      std::string_view units(reinterpret_cast<const char*>(wide_.data()),
                             wide_.size() * sizeof(wchar_t));
      while (!units.empty()) {
        size_t taken = 0;
        if (RunIconv(encoder_.get(), units, scratch_, output, &taken) == Stop::kDone) break;
        output.push_back('?');
        ++replaced_;
        units.remove_prefix(taken + sizeof(wchar_t));
      }
    }
  }

  static constexpr size_t kWideBlock = size_t{16} << 10;

  Charset from_;
  Charset to_;
  IconvHandle decoder_;
  IconvHandle encoder_;
  std::string utf8_;
  std::vector<wchar_t> wide_;
  std::vector<char> scratch_ = std::vector<char>(size_t{64} << 10);
};

}  // namespace

std::unique_ptr<Transcoder> OpenSystemTranscoder(Charset from, Charset to) {
  auto transcoder = std::make_unique<IconvTranscoder>(from, to);
  if (!transcoder->Init()) return nullptr;
  return transcoder;
}

}  // namespace platform
