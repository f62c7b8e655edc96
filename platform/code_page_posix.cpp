#include "platform/code_page.h"

namespace platform {

// Narrow strings are UTF-8 on the POSIX systems this program runs on.
const CodePage& NativeCodePage() {
  static const CodePage page = CodePage::Utf8();
  return page;
}

}  // namespace platform
