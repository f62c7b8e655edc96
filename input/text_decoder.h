// DecodeToUtf8: a document in any common encoding as UTF-8, the one encoding that the stages
// after this one read. A new input encoding is taught here.
#pragma once

#include <memory>

#include "input/byte_source.h"
#include "platform/cstring.h"

namespace input {

// The same document as UTF-8: a UTF-8 or UTF-16 byte-order mark, UTF-16 without one, or the
// XML declaration's encoding (UTF-8, US-ASCII, ISO-8859-1, GBK, GB2312, GB18030, ...) tells
// what it is; UTF-8 when nothing does. The BOM is dropped; the declaration stays as written.
// Transcoded with the system's converters. An encoding they do not know throws CFileException
// (unknownEncoding); bytes invalid in the encoding throw badEncoding with the line.
// REQUIRES: `raw` outlives the result.
std::unique_ptr<ByteSource> DecodeToUtf8(ByteSource& raw, const platform::CString& path);

}  // namespace input
