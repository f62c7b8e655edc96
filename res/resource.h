// Resource identifiers of KmlConverter.exe, grouped by prefix. Shared by KmlConverter.rc and
// the code of ui/.
#pragma once

// Dialog templates
#define IDD_CONVERTER_DIALOG 102

// Application resources (the icon group)
#define IDR_MAINFRAME 128

// Controls of IDD_CONVERTER_DIALOG (IDCANCEL, 2, is the close button)
#define IDC_BROWSE 3
#define IDC_WEBSITE 4
