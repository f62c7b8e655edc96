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
  explicit IconvHandle(iconv_t handle) : handle_(handle) {}
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
// cannot hold. UTF-8 sources are checked here, since glibc lets ill-formed UTF-8 through.
class IconvTranscoder : public BlockTranscoder {
 public:
  IconvTranscoder(Charset from, Charset to) : from_(from), to_(to) {}

  bool Init() {
    if (from_ != Charset::kUtf8) {
      decoder_ = std::make_unique<IconvHandle>(iconv_open("UTF-8", IconvName(from_)));
      if (!decoder_->valid()) return false;
    }
    if (to_ != Charset::kUtf8) {
      encoder_ = std::make_unique<IconvHandle>(iconv_open(IconvName(to_), "UTF-8"));
      if (!encoder_->valid()) return false;
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
    if (decoder_) {
      invalid = RunIconv(decoder_->get(), input, scratch_, utf8, &taken) == Stop::kInvalid;
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
    while (!utf8.empty()) {
      size_t taken = 0;
      if (RunIconv(encoder_->get(), utf8, scratch_, output, &taken) == Stop::kDone) return;
      // The text is whole, valid UTF-8, so iconv only stops at a character the target lacks.
      output.push_back('?');
      ++replaced_;
      const auto lead = static_cast<unsigned char>(utf8[taken]);
      const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      utf8.remove_prefix(taken + length);
    }
  }

  Charset from_;
  Charset to_;
  std::unique_ptr<IconvHandle> decoder_;
  std::unique_ptr<IconvHandle> encoder_;
  std::string utf8_;
  std::vector<char> scratch_ = std::vector<char>(size_t{64} << 10);
};

}  // namespace

std::unique_ptr<Transcoder> OpenSystemTranscoder(Charset from, Charset to) {
  auto transcoder = std::make_unique<IconvTranscoder>(from, to);
  if (!transcoder->Init()) return nullptr;
  return transcoder;
}

}  // namespace platform
