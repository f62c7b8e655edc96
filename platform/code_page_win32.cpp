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
  static const CodePage page = QueryAnsiCodePage();
  return page;
}

}  // namespace platform
