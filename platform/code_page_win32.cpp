#include <windows.h>

#include "platform/code_page.h"

namespace platform {

namespace {

CodePage QueryAnsiCodePage() {
  const UINT acp = GetACP();
  if (acp == CP_UTF8) return CodePage::Utf8();
  CPINFO info;
  if (GetCPInfo(acp, &info) && info.MaxCharSize == 2) {
    return CodePage::DoubleByte(info.LeadByte);
  }
  return CodePage::SingleByte();
}

}  // namespace

const CodePage& NativeCodePage() {
  static const CodePage utf8 = CodePage::Utf8();
  if (UsesUtf8Strings()) return utf8;
  static const CodePage page = QueryAnsiCodePage();
  return page;
}

}  // namespace platform
