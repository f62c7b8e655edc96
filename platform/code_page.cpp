#include "platform/code_page.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<const CodePage*> g_override{nullptr};
std::atomic<bool> g_utf8_strings{false};

bool IsDoubleByteTrail(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

size_t Utf8Length(const unsigned char* text, size_t available) {
  const unsigned char lead = text[0];
  if (lead < 0x80) return 1;
  size_t length;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_low = 0xA0;   // no overlong forms
    if (lead == 0xED) second_high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  if (available < length) return 1;
  if (text[1] < second_low || text[1] > second_high) return 1;
  for (size_t i = 2; i < length; ++i) {
    if (!IsContinuation(text[i])) return 1;
  }
  return length;
}

}  // namespace

CodePage CodePage::Gbk() {
  static const unsigned char kRanges[] = {0x81, 0xFE, 0, 0};
  return DoubleByte(kRanges);
}

CodePage CodePage::Utf8() {
  CodePage page;
  page.kind_ = Kind::kUtf8;
  return page;
}

CodePage CodePage::SingleByte() { return CodePage(); }

CodePage CodePage::DoubleByte(const unsigned char* lead_ranges) {
  CodePage page;
  page.kind_ = Kind::kDoubleByte;
  for (const unsigned char* range = lead_ranges; range[0] != 0 || range[1] != 0; range += 2) {
    for (unsigned byte = range[0]; byte <= range[1]; ++byte) page.lead_[byte] = true;
  }
  return page;
}

size_t CodePage::CharLength(const unsigned char* text, size_t available) const {
  switch (kind_) {
    case Kind::kSingleByte:
      return 1;
    case Kind::kDoubleByte:
      return lead_[text[0]] && available >= 2 && IsDoubleByteTrail(text[1]) ? 2 : 1;
    case Kind::kUtf8:
      return Utf8Length(text, available);
  }
  return 1;
}

void UseUtf8Strings() { g_utf8_strings.store(true, std::memory_order_release); }

bool UsesUtf8Strings() { return g_utf8_strings.load(std::memory_order_acquire); }

// Defined beside the platform's own code page query.
const CodePage& NativeCodePage();

const CodePage& CodePage::System() {
  const CodePage* page = g_override.load(std::memory_order_acquire);
  return page != nullptr ? *page : NativeCodePage();
}

ScopedCodePage::ScopedCodePage(const CodePage& page)
    : previous_(g_override.load(std::memory_order_acquire)), page_(page) {
  g_override.store(&page_, std::memory_order_release);
}

ScopedCodePage::~ScopedCodePage() { g_override.store(previous_, std::memory_order_release); }

}  // namespace platform
