// Message boxes of the program, and the error box for an exception that escapes a message
// handler. Every box has the application's name as its caption.
#pragma once

#include <windows.h>

#include <exception>

#include "platform/cstring.h"

namespace platform {

// Shows `text` (ANSI code page) in a modal message box of `type` (MB_...), owned by the
// application's main window while it exists. Gives the button pressed (IDOK, ...). `help_id`
// is accepted for the class library's signature; there is no help file.
int AfxMessageBox(const CString& text, UINT type = MB_OK, UINT help_id = 0);

// What the error box says about an exception: a file error its own report, which names the file
// and the failure; lack of memory and anything else a general Chinese sentence.
struct ErrorReport {
  CString text;  // ANSI code page
  UINT type;     // MB_ICONSTOP (MB_ICONERROR) with a single OK button
};
ErrorReport DescribeException(const std::exception_ptr& error);

// Shows the error box of DescribeException(error). Never throws.
void ReportException(const std::exception_ptr& error) noexcept;

}  // namespace platform
