#include "xml/xml_reader.h"

// Both builds of the library (Debian's and the one made for Windows) have DTD support; its
// header declares the entity amplification limits only when told so.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_exception.h"

namespace xml {
namespace {

using platform::CFileException;
using platform::CString;

// Bytes read from the source at a time.
constexpr size_t kChunkSize = 64 << 10;
// A coordinate text goes around the parser when its start tag ends a chunk handed to the
// parser; chunks are cut there when at least this much text without markup follows the tag
// (shorter texts cost the parser less than the cut does).
constexpr size_t kLongText = 256;
constexpr std::string_view kCoordinatesTagEnd = "coordinates>";
// The parser is suspended once this much waits to be taken, so that a document of any size,
// or a text of any length, passes through in bounded memory.
constexpr size_t kMaxQueuedEvents = 4096;
constexpr size_t kMaxQueuedBytes = 256 << 10;
// The parser holds one piece of markup (a tag with its attributes, a comment, a declaration)
// whole before it reports it; one longer than this is refused, so that a file of 'x's or an
// endless tag cannot make it hold the whole file.
constexpr size_t kMaxMarkupBytes = size_t{8} << 20;

// Names are taken as written, without namespace processing: the local name is what follows the
// last ':'. Gives the name and where its local name begins.
std::pair<std::string_view, uint32_t> SplitName(const XML_Char* name) {
  // One pass: every element and attribute name comes through here.
  const XML_Char* local = name;
  const XML_Char* p = name;
  for (; *p != 0; ++p) {
    if (*p == ':') local = p + 1;
  }
  return {std::string_view(name, static_cast<size_t>(p - name)),
          static_cast<uint32_t>(local - name)};
}

// The parser's memory comes from operator new, as the rest of the program's does, so that
// running short of it anywhere is the same failure. Each block carries its size, which realloc
// needs.
constexpr size_t kBlockHeader = alignof(std::max_align_t);
static_assert(kBlockHeader >= sizeof(size_t));

void* XMLCALL ParserMalloc(size_t size) {
  auto* const block = static_cast<char*>(::operator new(size + kBlockHeader, std::nothrow));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  return block + kBlockHeader;
}

void XMLCALL ParserFree(void* memory) {
  if (memory != nullptr) ::operator delete(static_cast<char*>(memory) - kBlockHeader);
}

void* XMLCALL ParserRealloc(void* memory, size_t size) {
  if (memory == nullptr) return ParserMalloc(size);
  void* const grown = ParserMalloc(size);
  if (grown == nullptr) return nullptr;  // the old block stays the caller's
  size_t old_size = 0;
  std::memcpy(&old_size, static_cast<char*>(memory) - kBlockHeader, sizeof old_size);
  std::memcpy(grown, memory, std::min(old_size, size));
  ParserFree(memory);
  return grown;
}

const XML_Memory_Handling_Suite kParserMemory = {ParserMalloc, ParserRealloc, ParserFree};

}  // namespace

class XmlReader::Impl {
 public:
  Impl(input::ByteSource& utf8, const CString& path, TextPath text_path)
      : source_(utf8),
        path_(path),
        around_allowed_(text_path == TextPath::kAroundParser),
        tag_searcher_(kCoordinatesTagEnd.begin(), kCoordinatesTagEnd.end()) {
    // What may fail for want of memory comes first: once the parser exists, a throw from this
    // constructor would lose it.
    arena_.reserve(kMaxQueuedBytes + kChunkSize);
    input_.resize(kChunkSize);
    // The layer below hands on UTF-8 whatever the document's declaration says.
    parser_ = XML_ParserCreate_MM("UTF-8", &kParserMemory, nullptr);
    if (parser_ == nullptr) throw CFileException(CFileException::outOfMemory, path_);
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Impl::OnStart, &Impl::OnEnd);
    XML_SetCharacterDataHandler(parser_, &Impl::OnText);
    XML_SetCdataSectionHandler(parser_, &Impl::OnCdataStart, &Impl::OnCdataEnd);
    // Comments, declarations and the like are dropped, but their passing counts as progress.
    XML_SetDefaultHandlerExpand(parser_, &Impl::OnOther);
    // Nothing outside the document is ever read: no external entity handler is set, and
    // parameter entities (which could pull in an external DTD) are not parsed.
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
    // The library's own defaults, stated so that a build that changed them does not go unseen.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser_, 100.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser_, 8 << 20);
#endif
  }
  ~Impl() { XML_ParserFree(parser_); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  const XmlEvent& Next() {
    if (failure_) std::rethrow_exception(failure_);
    if (next_ == queue_.size()) {
      try {
        Refill();
      } catch (...) {
        failure_ = std::current_exception();
        throw;
      }
    }
    if (next_ == queue_.size()) {
      event_ = XmlEvent();
      return event_;
    }
    const Queued& queued = queue_[next_++];
    // Only the fields of the event's type are set: this runs for every event of the document.
    event_.type = queued.type;
    if (queued.type == XmlEvent::Type::kText) {
      event_.text = queued.direct != nullptr ? std::string_view(queued.direct, queued.span.size)
                                             : View(queued.span);
      event_.cdata = queued.cdata;
      return event_;
    }
    event_.qualified_name = View(queued.span);
    event_.name = std::string_view(event_.qualified_name.data() + queued.local,
                                   event_.qualified_name.size() - queued.local);
    if (queued.type == XmlEvent::Type::kStart) {
      attributes_.clear();
      attribute_names_.clear();
      for (size_t i = 0; i < queued.attribute_count; ++i) {
        const Attribute& attribute = attribute_spans_[queued.first_attribute + i];
        const std::string_view name = View(attribute.name);
        attributes_.emplace_back(
            std::string_view(name.data() + attribute.local, name.size() - attribute.local),
            View(attribute.value));
        attribute_names_.push_back(name);
      }
      event_.attributes = attributes_;
      event_.qualified_attribute_names = attribute_names_;
    }
    return event_;
  }

 private:
  // A stretch of the arena.
  struct Span {
    size_t offset = 0;
    size_t size = 0;
  };
  // Small: one is queued for every event of the document.
  struct Queued {
    XmlEvent::Type type;
    bool cdata = false;            // kText: the content of a CDATA section
    uint32_t local = 0;            // kStart, kEnd: where the local name begins in `span`
    Span span{};                   // kStart, kEnd: the name as written; kText: the text
    const char* direct = nullptr;  // a text taken around the parser: in the read buffer
    uint32_t first_attribute = 0;  // kStart: its attributes in attribute_spans_
    uint32_t attribute_count = 0;
  };
  struct Attribute {
    Span name;  // as written
    uint32_t local = 0;
    Span value;
  };

  // REQUIRES: `span` lies within the arena (as every stored one does).
  std::string_view View(Span span) const {
    return std::string_view(arena_.data() + span.offset, span.size);
  }

  Span Store(std::string_view text) {
    const Span span{arena_.size(), text.size()};
    arena_.append(text);
    return span;
  }

  // Parses until events wait or the document ends. The views of the last events die here.
  void Refill() {
    queue_.clear();
    attribute_spans_.clear();
    arena_.clear();
    next_ = 0;
    while (queue_.empty() && !finished_) {
      if (around_now_) {
        TakeTextAroundParser();
      } else {
        ParseMore();
      }
    }
  }

  // Moves the bytes not yet used to the front of the read buffer and reads more after them.
  void Fill() {
    const size_t left = input_end_ - input_begin_;
    std::memmove(input_.data(), input_.data() + input_begin_, left);
    input_begin_ = 0;
    input_end_ = left;
    if (source_done_ || input_end_ == input_.size()) return;
    const size_t count = source_.Read(input_.data() + input_end_, input_.size() - input_end_);
    source_done_ = count == 0;
    input_end_ += count;
  }

  // Where the next chunk handed to the parser ends: just after the start tag of a long
  // coordinate text, else short of a tag's end that the buffer may cut.
  const char* ChunkEnd(const char* data, const char* end) const {
    if (!around_allowed_ || source_done_) return end;
    const char* from = data;
    for (;;) {
      const char* const found = std::search(from, end, tag_searcher_);
      if (found == end) break;
      const char* const text = found + kCoordinatesTagEnd.size();
      const size_t look = std::min(static_cast<size_t>(end - text), kLongText);
      if (std::memchr(text, '<', look) == nullptr) return text;
      from = found + 1;
    }
    return std::max(data, end - static_cast<std::ptrdiff_t>(kCoordinatesTagEnd.size() - 1));
  }

  void ParseMore() {
    XML_Status status;
    if (suspended_) {
      suspended_ = false;
      status = XML_ResumeParser(parser_);
    } else {
      Fill();
      const char* const data = input_.data() + input_begin_;
      const char* const end = input_.data() + input_end_;
      const char* const chunk_end = ChunkEnd(data, end);
      const auto count = static_cast<size_t>(chunk_end - data);
      final_ = source_done_ && chunk_end == end;
      reported_ = false;
      status = XML_Parse(parser_, data, static_cast<int>(count), final_ ? XML_TRUE : XML_FALSE);
      input_begin_ += count;
      unreported_bytes_ = reported_ ? 0 : unreported_bytes_ + count;
    }
    if (callback_failure_) std::rethrow_exception(callback_failure_);
    switch (status) {
      case XML_STATUS_SUSPENDED:
        suspended_ = true;
        suspend_asked_ = false;
        break;
      case XML_STATUS_OK:
        finished_ = final_;
        if (unreported_bytes_ > kMaxMarkupBytes) {
          ThrowNotWellFormed("markup (a tag, a comment or a declaration) longer than 8 MiB");
        }
        if (text_may_go_around_ && !final_) BeginAroundParser();
        break;
      default:
        // Not the document's fault: reported as any other lack of memory.
        if (XML_GetErrorCode(parser_) == XML_ERROR_NO_MEMORY) {
          throw CFileException(CFileException::outOfMemory, path_);
        }
        ThrowNotWellFormed(too_deep_ ? CString("elements nested too deeply")
                                     : CString(XML_ErrorString(XML_GetErrorCode(parser_))));
    }
  }

  // The parser has just taken a coordinate start tag and nothing after it: the text that
  // follows is taken here for as long as it is plain, and the parser goes on after it.
  void BeginAroundParser() {
    text_may_go_around_ = false;  // the parser reports nothing until the text has been taken
    around_now_ = true;
    around_line_ = XML_GetCurrentLineNumber(parser_);
    around_column_ = XML_GetCurrentColumnNumber(parser_);
    around_breaks_ = 0;
    around_tail_ = 0;
    after_cr_ = false;
  }

  void TakeTextAroundParser() {
    if (input_end_ - input_begin_ <= 1) Fill();
    const char* const text = input_.data() + input_begin_;
    const char* end = input_.data() + input_end_;
    // A CR that ends the bytes read may begin a CR LF: it waits for the byte after it, and at
    // the end of the document it is left to the parser, which counts it its own way.
    if (end != text && end[-1] == '\r') --end;
    const char* last_line = text;
    const char* const text_end = PlainTextEnd(text, end, around_breaks_, after_cr_, last_line);
    around_tail_ = last_line != text ? static_cast<uint64_t>(text_end - last_line)
                                     : around_tail_ + static_cast<uint64_t>(text_end - text);
    if (text_end != text) {
      Queued queued{XmlEvent::Type::kText};
      queued.span.size = static_cast<size_t>(text_end - text);
      queued.direct = text;
      queue_.push_back(queued);
      input_begin_ += static_cast<size_t>(text_end - text);
    }
    if (text_end != end || source_done_) EndAroundParser();
  }

  // The parser has not seen the text taken around it: its lines and columns from here on are
  // mapped back to the file's.
  void EndAroundParser() {
    around_now_ = false;
    skipped_lines_ += around_breaks_;
    if (around_breaks_ != 0) {
      // The file's column after the text is the length of the text's last line.
      shifted_line_ = around_line_;
      column_shift_ = static_cast<int64_t>(around_tail_) - static_cast<int64_t>(around_column_);
    } else if (shifted_line_ == around_line_) {
      column_shift_ += static_cast<int64_t>(around_tail_);
    } else {
      shifted_line_ = around_line_;
      column_shift_ = static_cast<int64_t>(around_tail_);
    }
  }

  [[noreturn]] void ThrowNotWellFormed(const CString& message) {
    // The parser counts columns from 0, people from 1; it has not seen the texts taken around
    // it.
    const uint64_t parser_line = XML_GetCurrentLineNumber(parser_);
    const int64_t parser_column = static_cast<int64_t>(XML_GetCurrentColumnNumber(parser_));
    const std::string line = std::to_string(parser_line + skipped_lines_);
    const std::string column =
        std::to_string(parser_column + (parser_line == shifted_line_ ? column_shift_ : 0) + 1);
    const CString detail =
        "第 " + CString(line) + " 行第 " + CString(column) + " 列：" + message + "。";
    const CString english =
        "(line " + CString(line) + ", column " + CString(column) + ": " + message + ")";
    throw CFileException(CFileException::badXml, path_, detail, english);
  }

  // Called after each event: the parser stops at the next point where it can resume.
  void SuspendWhenFull() {
    if (!suspend_asked_ && (queue_.size() > kMaxQueuedEvents || arena_.size() > kMaxQueuedBytes)) {
      suspend_asked_ = true;
      XML_StopParser(parser_, XML_TRUE);
    }
  }

  // The callbacks run inside the C library: nothing may be thrown through it.
  template <typename Body>
  static void Guarded(void* user_data, Body body) {
    Impl& self = *static_cast<Impl*>(user_data);
    self.reported_ = true;
    self.text_may_go_around_ = false;
    if (self.callback_failure_) return;
    try {
      body(self);
      if (!self.too_deep_) self.SuspendWhenFull();
    } catch (...) {
      self.callback_failure_ = std::current_exception();
      XML_StopParser(self.parser_, XML_FALSE);
    }
  }

  static void XMLCALL OnStart(void* user_data, const XML_Char* name, const XML_Char** attributes) {
    Guarded(user_data, [&](Impl& self) {
      if (++self.depth_ > kMaxDepth) {
        self.too_deep_ = true;
        XML_StopParser(self.parser_, XML_FALSE);
        return;
      }
      const auto [written, local] = SplitName(name);
      Queued queued{XmlEvent::Type::kStart};
      queued.local = local;
      queued.span = self.Store(written);
      queued.first_attribute = static_cast<uint32_t>(self.attribute_spans_.size());
      for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
        const auto [attribute_name, attribute_local] = SplitName(attribute[0]);
        const Span name_span = self.Store(attribute_name);
        self.attribute_spans_.push_back({name_span, attribute_local, self.Store(attribute[1])});
        ++queued.attribute_count;
      }
      self.queue_.push_back(queued);
      if (self.around_allowed_ && queued.attribute_count == 0 &&
          written.substr(local) == "coordinates") {
        // Only a tag that ends the bytes handed to the parser is followed by text that the
        // parser has not begun to read.
        int offset = 0;
        int size = 0;
        self.text_may_go_around_ = XML_GetInputContext(self.parser_, &offset, &size) != nullptr &&
                                   offset + XML_GetCurrentByteCount(self.parser_) == size;
      }
    });
  }

  static void XMLCALL OnEnd(void* user_data, const XML_Char* name) {
    Guarded(user_data, [&](Impl& self) {
      --self.depth_;
      const auto [written, local] = SplitName(name);
      self.queue_.push_back({XmlEvent::Type::kEnd, false, local, self.Store(written)});
    });
  }

  // A piece that follows a queued piece (always the last thing in the arena) joins it, unless
  // one is CDATA and the other not: the queue's limit on bytes bounds the joined text.
  static void XMLCALL OnText(void* user_data, const XML_Char* text, int length) {
    Guarded(user_data, [&](Impl& self) {
      const std::string_view piece(text, static_cast<size_t>(length));
      if (!self.queue_.empty() && self.queue_.back().type == XmlEvent::Type::kText &&
          self.queue_.back().direct == nullptr && self.queue_.back().cdata == self.in_cdata_) {
        self.arena_.append(piece);
        self.queue_.back().span.size += piece.size();
        return;
      }
      self.queue_.push_back({XmlEvent::Type::kText, self.in_cdata_, 0, self.Store(piece)});
    });
  }

  static void XMLCALL OnCdataStart(void* user_data) {
    Guarded(user_data, [](Impl& self) { self.in_cdata_ = true; });
  }

  static void XMLCALL OnCdataEnd(void* user_data) {
    Guarded(user_data, [](Impl& self) { self.in_cdata_ = false; });
  }

  static void XMLCALL OnOther(void* user_data, const XML_Char*, int) {
    static_cast<Impl*>(user_data)->reported_ = true;
  }

  input::ByteSource& source_;
  const CString path_;
  const bool around_allowed_;  // long coordinate texts may be taken around the parser
  const std::boyer_moore_horspool_searcher<std::string_view::const_iterator> tag_searcher_;
  XML_Parser parser_ = nullptr;
  std::vector<char> input_;  // the read buffer: bytes [input_begin_, input_end_) not yet used
  size_t input_begin_ = 0;
  size_t input_end_ = 0;
  bool source_done_ = false;
  // A text taken around the parser, and what the parser's positions lack because of such texts.
  bool text_may_go_around_ = false;  // the last event was a start tag that ends the fed bytes
  bool around_now_ = false;          // a text is being taken around the parser
  uint64_t around_line_ = 0;         // the parser's line and column where it began
  uint64_t around_column_ = 0;
  uint64_t around_breaks_ = 0;  // line breaks in it so far
  uint64_t around_tail_ = 0;    // bytes of its last line so far
  bool after_cr_ = false;
  uint64_t skipped_lines_ = 0;  // line breaks in all texts taken around the parser
  uint64_t shifted_line_ = 0;   // the parser's line whose columns are off, by column_shift_
  int64_t column_shift_ = 0;
  std::string arena_;
  std::vector<Queued> queue_;
  std::vector<Attribute> attribute_spans_;
  size_t next_ = 0;
  XmlEvent event_;
  std::vector<std::pair<std::string_view, std::string_view>> attributes_;
  std::vector<std::string_view> attribute_names_;
  int depth_ = 0;
  bool in_cdata_ = false;        // the parser is inside a CDATA section
  bool reported_ = false;        // the parser reported something during the last chunk
  size_t unreported_bytes_ = 0;  // bytes fed since it last reported anything
  bool too_deep_ = false;
  bool suspended_ = false;
  bool suspend_asked_ = false;
  bool final_ = false;
  bool finished_ = false;
  std::exception_ptr callback_failure_;
  std::exception_ptr failure_;
};

XmlReader::XmlReader(input::ByteSource& utf8, const platform::CString& path, TextPath text_path)
    : impl_(std::make_unique<Impl>(utf8, path, text_path)) {}

XmlReader::~XmlReader() = default;

const XmlEvent& XmlReader::Next() { return impl_->Next(); }

const char* XmlReader::PlainTextEnd(const char* text, const char* end, uint64_t& line_breaks,
                                    bool& after_cr, const char*& last_line) {
  const char* p = text;
  last_line = text;
  for (;;) {
#if defined(__SSE2__)
    const char* const block_start = p;
    while (end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      // Control bytes, and every byte over 0x7F (negative as a signed byte), stop the run here
      // and are looked at one by one below, as are DEL and the three that may begin markup.
      __m128i stop = _mm_cmplt_epi8(bytes, _mm_set1_epi8(' '));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(']')));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F)));
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
      if (mask != 0) {
        p += std::countr_zero(mask);
        break;
      }
      p += 16;
    }
    if (p != block_start) after_cr = false;
#endif
    if (p == end) return p;
    const auto byte = static_cast<unsigned char>(*p);
    if (byte == '\n') {
      if (!after_cr) ++line_breaks;
      after_cr = false;
      last_line = p + 1;
    } else if (byte == '\r') {
      ++line_breaks;
      after_cr = true;
      last_line = p + 1;
    } else if (byte == '\t' ||
               (byte >= ' ' && byte < 0x7F && byte != '<' && byte != '&' && byte != ']')) {
      after_cr = false;
    } else {
      return p;
    }
    ++p;
  }
}

}  // namespace xml
