// WritePointText, declared in point_text_rewriter.h.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "platform/file_exception.h"

namespace convert {

// An output that writes bytes as they are, so that the point text can carry its CR LF itself
// and the bytes need not be looked at a second time.
template <typename Output>
concept RawOutput = requires(Output& output, std::string_view bytes) {
  output.WriteRaw(bytes);
};

// A file that can set aside room on the disk for what is to come (CStdioFile, CReplaceFile).
template <typename Output>
concept ReservingOutput = RawOutput<Output> && requires(Output& output, uint64_t size) {
  output.Reserve(size);
};

template <typename Output>
void WritePointText(platform::CStdioFile& input, const ScannedCoordinates& scanned,
                    Output& output) {
  if (!scanned.found || scanned.text_begin >= scanned.text_end) return;
  input.Seek(scanned.line_start + scanned.text_begin);
  uint64_t left = scanned.text_end - scanned.text_begin;
  if constexpr (ReservingOutput<Output>) {
    // What will be written: each ",0 " (one per point) becomes two bytes, the rest as many.
    output.Reserve(left - std::min<uint64_t>(left, static_cast<uint64_t>(scanned.points)));
  }
  PointTextRewriter rewriter(RawOutput<Output> ? PointTextRewriter::LineEnd::kCrLf
                                               : PointTextRewriter::LineEnd::kLf);
  const auto write = [&output](std::string_view text) {
    if constexpr (RawOutput<Output>) {
      output.WriteRaw(text);
    } else {
      output.Write(text);
    }
  };
  // Grown to the largest piece, never filled with anything but the point text.
  std::unique_ptr<char[]> text;
  size_t room = 0;
  std::string_view piece;
  while (left > 0) {
    const platform::CStdioFile::PieceEnd end = input.ReadLinePiece(piece);
    if (piece.size() > left) piece = piece.substr(0, left);
    left -= piece.size();
    if (PointTextRewriter::Room(piece.size()) > room) {
      room = PointTextRewriter::Room(piece.size());
      text.reset(new (std::nothrow) char[room]);
      if (!text) {
        throw platform::CFileException(platform::CFileException::outOfMemory, input.GetFilePath());
      }
    }
    const size_t size = rewriter.Rewrite(piece, text.get());
    if (left > 0 && end != platform::CStdioFile::PieceEnd::kMore) {
      // The line is shorter than on the first pass: the file changed in between.
      throw platform::CFileException(platform::CFileException::readError, input.GetFilePath());
    }
    if (size > 0) write(std::string_view(text.get(), size));
  }
  char held[PointTextRewriter::Room(0)];
  const size_t size = rewriter.Finish(held);
  if (size > 0) write(std::string_view(held, size));
}

}  // namespace convert
