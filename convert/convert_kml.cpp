#include "convert/convert_kml.h"

#include "platform/file_exception.h"

namespace convert {

// Stands in until the reader and the writer are joined up.
KmlConversionSummary ConvertKmlFile(const platform::CString& path, const KmlConversionOptions&) {
  throw platform::CFileException(platform::CFileException::genericException, path);
}

}  // namespace convert
