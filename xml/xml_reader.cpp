#include "xml/xml_reader.h"

// Both builds of the library (Debian's and the one made for Windows) have DTD support; its
// header declares the entity amplification limits only when told so.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
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
// The parser is suspended once one step of parsing has queued this much, so that a document of
// any size, or a text of any length, passes through in bounded memory.
constexpr size_t kMaxQueuedEvents = 4096;
constexpr size_t kMaxQueuedBytes = 256 << 10;
// Parsing ahead, a batch is handed over once it holds as much as one step may queue: hand-overs
// are rare, and the batches stay a few hundred KiB each. One is being read, one filled, and one
// may wait between them.
constexpr size_t kAheadBatches = 3;
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
  Impl(input::ByteSource& utf8, const CString& path, TextPath text_path, Parsing parsing)
      : source_(utf8),
        path_(path),
        around_allowed_(text_path == TextPath::kAroundParser),
        ahead_(parsing == Parsing::kAhead),
        tag_searcher_(kCoordinatesTagEnd.begin(), kCoordinatesTagEnd.end()) {
    // What may fail for want of memory comes first: once the parser exists, a throw from this
    // constructor would lose it.
    if (ahead_) {
      // A batch takes steps until it holds a step's worth; the last step may bring as much
      // again, or a chunk of text taken around the parser.
      for (Batch& batch : batches_) batch.arena.reserve(2 * kMaxQueuedBytes + kChunkSize);
      free_.reserve(kAheadBatches);
      parsed_.reserve(kAheadBatches);
    } else {
      batches_[0].arena.reserve(kMaxQueuedBytes + kChunkSize);
      filling_ = reading_ = &batches_[0];
    }
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
  ~Impl() {
    StopParsingAhead();
    XML_ParserFree(parser_);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  const XmlEvent& Next() {
    if (failure_) std::rethrow_exception(failure_);
    if (reading_ == nullptr || next_ == reading_->queue.size()) {
      try {
        if (ahead_) {
          TakeParsedBatch();
        } else {
          Refill();
        }
      } catch (...) {
        failure_ = std::current_exception();
        throw;
      }
    }
    const Batch& batch = *reading_;
    if (next_ == batch.queue.size()) {
      event_ = XmlEvent();
      return event_;
    }
    const Queued& queued = batch.queue[next_++];
    // Only the fields of the event's type are set: this runs for every event of the document.
    event_.type = queued.type;
    if (queued.type == XmlEvent::Type::kText) {
      event_.text = queued.direct != nullptr ? std::string_view(queued.direct, queued.span.size)
                                             : batch.View(queued.span);
      event_.cdata = queued.cdata;
      return event_;
    }
    event_.qualified_name = batch.View(queued.span);
    event_.name = std::string_view(event_.qualified_name.data() + queued.local,
                                   event_.qualified_name.size() - queued.local);
    if (queued.type == XmlEvent::Type::kStart) {
      attributes_.clear();
      attribute_names_.clear();
      for (size_t i = 0; i < queued.attribute_count; ++i) {
        const Attribute& attribute = batch.attribute_spans[queued.first_attribute + i];
        const std::string_view name = batch.View(attribute.name);
        attributes_.emplace_back(
            std::string_view(name.data() + attribute.local, name.size() - attribute.local),
            batch.View(attribute.value));
        attribute_names_.push_back(name);
      }
      event_.attributes = attributes_;
      event_.qualified_attribute_names = attribute_names_;
    }
    return event_;
  }

 private:
  // A stretch of a batch's arena.
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
    uint32_t first_attribute = 0;  // kStart: its attributes in the batch's attribute_spans
    uint32_t attribute_count = 0;
  };
  struct Attribute {
    Span name;  // as written
    uint32_t local = 0;
    Span value;
  };
  // Events that wait to be taken, their names and texts in `arena`.
  struct Batch {
    std::string arena;
    std::vector<Queued> queue;
    std::vector<Attribute> attribute_spans;
    // Parsing ahead: the parse failed after these events, or the document ended.
    std::exception_ptr failure;
    bool finished = false;

    // REQUIRES: `span` lies within the arena (as every stored one does).
    std::string_view View(Span span) const {
      return std::string_view(arena.data() + span.offset, span.size);
    }
    void Clear() {
      arena.clear();
      queue.clear();
      attribute_spans.clear();
      failure = nullptr;
      finished = false;
    }
  };

  Span Store(std::string_view text) {
    std::string& arena = filling_->arena;
    const Span span{arena.size(), text.size()};
    arena.append(text);
    return span;
  }

  // Parses until events wait or the document ends. The views of the last events die here.
  void Refill() {
    filling_->Clear();
    next_ = 0;
    while (filling_->queue.empty() && !finished_) Step();
  }

  // Parses one chunk, resumes the suspended parser, or takes a text around it. A step that
  // fails hands on none of its events.
  void Step() {
    step_events_ = filling_->queue.size();
    step_bytes_ = filling_->arena.size();
    if (around_now_) {
      TakeTextAroundParser();
    } else {
      ParseMore();
    }
  }

  // Parsing ahead, on the caller's thread: hands the batch read back to the parsing thread and
  // takes the next one it filled; once the events before it are taken, throws what stopped the
  // parse.
  void TakeParsedBatch() {
    for (;;) {
      if (reading_ == nullptr) {
        StartParsingAhead();
        if (!ahead_) return Refill();
      } else {
        if (reading_->failure) std::rethrow_exception(reading_->failure);
        if (reading_->finished) return;
        {
          const std::lock_guard<std::mutex> lock(mutex_);
          free_.push_back(reading_);
        }
        free_ready_.notify_one();
      }
      {
        std::unique_lock<std::mutex> lock(mutex_);
        parsed_ready_.wait(lock, [this] { return !parsed_.empty(); });
        reading_ = parsed_.front();
        parsed_.erase(parsed_.begin());
      }
      next_ = 0;
      if (!reading_->queue.empty()) return;
    }
  }

  void StartParsingAhead() {
    for (Batch& batch : batches_) free_.push_back(&batch);
    try {
      worker_ = std::thread(&Impl::ParseAhead, this);
    } catch (const std::system_error&) {
      // No thread to be had: the caller's thread parses, as it would on one processor.
      ahead_ = false;
      free_.clear();
      filling_ = reading_ = &batches_[0];
    }
  }

  // The parsing thread: fills free batches in turn until the document ends, the parse fails or
  // the reader stops it.
  void ParseAhead() {
    for (;;) {
      Batch* batch = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        free_ready_.wait(lock, [this] { return stopping_ || !free_.empty(); });
        if (stopping_) return;
        batch = free_.back();
        free_.pop_back();
      }
      filling_ = batch;
      batch->Clear();
      try {
        while (!finished_ && batch->queue.size() < kMaxQueuedEvents &&
               batch->arena.size() < kMaxQueuedBytes &&
               !stopping_.load(std::memory_order_relaxed)) {
          Step();
        }
      } catch (...) {
        batch->queue.erase(batch->queue.begin() + static_cast<std::ptrdiff_t>(step_events_),
                           batch->queue.end());
        batch->failure = std::current_exception();
      }
      batch->finished = finished_;
      const bool last = batch->failure || batch->finished;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        parsed_.push_back(batch);
      }
      parsed_ready_.notify_one();
      if (last) return;
    }
  }

  void StopParsingAhead() {
    if (!worker_.joinable()) return;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    free_ready_.notify_one();
    worker_.join();
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
        if (unreported_bytes_ > kMaxMarkupBytes) ThrowRefused(Limit::kMarkupSize);
        if (text_may_go_around_ && !final_) BeginAroundParser();
        break;
      default:
        // Not the document's fault: reported as any other lack of memory.
        if (XML_GetErrorCode(parser_) == XML_ERROR_NO_MEMORY) {
          throw CFileException(CFileException::outOfMemory, path_);
        }
        if (too_deep_) ThrowRefused(Limit::kDepth);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
        if (XML_GetErrorCode(parser_) == XML_ERROR_AMPLIFICATION_LIMIT_BREACH) {
          ThrowRefused(Limit::kEntityExpansion);
        }
#endif
        ThrowNotWellFormed(XML_ErrorString(XML_GetErrorCode(parser_)));
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
      const std::string_view taken(text, static_cast<size_t>(text_end - text));
      Queued queued{XmlEvent::Type::kText};
      // Handed to another thread, the text must outlive the read buffer.
      if (ahead_) {
        queued.span = Store(taken);
      } else {
        queued.span.size = taken.size();
        queued.direct = text;
      }
      filling_->queue.push_back(queued);
      input_begin_ += taken.size();
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

  // The line and column in the file where the parser stands, counted from 1.
  std::pair<CString, CString> Position() const {
    // The parser counts columns from 0, people from 1; it has not seen the texts taken around
    // it.
    const uint64_t parser_line = XML_GetCurrentLineNumber(parser_);
    const int64_t parser_column = static_cast<int64_t>(XML_GetCurrentColumnNumber(parser_));
    return {CString(std::to_string(parser_line + skipped_lines_)),
            CString(std::to_string(parser_column +
                                   (parser_line == shifted_line_ ? column_shift_ : 0) + 1))};
  }

  [[noreturn]] void ThrowNotWellFormed(const CString& message) {
    const auto [line, column] = Position();
    const CString detail = "第 " + line + " 行第 " + column + " 列：" + message + "。";
    const CString english = "(line " + line + ", column " + column + ": " + message + ")";
    throw CFileException(CFileException::badXml, path_, detail, english);
  }

  // A well-formed document may still be refused: what it asks of the parser would take memory
  // or time without bound.
  enum class Limit { kEntityExpansion, kDepth, kMarkupSize };
  [[noreturn]] void ThrowRefused(Limit limit) {
    static constexpr const char* kReasons[][2] = {
        {"实体展开过大", "entity expansion too large"},
        {"元素嵌套过深", "elements nested too deeply"},
        {"标记（标签、注释或声明）超过 8 MiB",
         "markup (a tag, a comment or a declaration) longer than 8 MiB"},
    };
    const auto& reason = kReasons[static_cast<size_t>(limit)];
    const auto [line, column] = Position();
    const CString detail = reason[0] + ("（第 " + line + " 行第 " + column + " 列）。");
    const CString english = reason[1] + (" (line " + line + ", column " + column + ").");
    throw CFileException(CFileException::unsafeXml, path_, detail, english);
  }

  // Called after each event: the parser stops at the next point where it can resume.
  void SuspendWhenFull() {
    if (!suspend_asked_ && (filling_->queue.size() - step_events_ > kMaxQueuedEvents ||
                            filling_->arena.size() - step_bytes_ > kMaxQueuedBytes)) {
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
      Batch& batch = *self.filling_;
      const auto [written, local] = SplitName(name);
      Queued queued{XmlEvent::Type::kStart};
      queued.local = local;
      queued.span = self.Store(written);
      queued.first_attribute = static_cast<uint32_t>(batch.attribute_spans.size());
      for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
        const auto [attribute_name, attribute_local] = SplitName(attribute[0]);
        const Span name_span = self.Store(attribute_name);
        batch.attribute_spans.push_back({name_span, attribute_local, self.Store(attribute[1])});
        ++queued.attribute_count;
      }
      batch.queue.push_back(queued);
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
      self.filling_->queue.push_back({XmlEvent::Type::kEnd, false, local, self.Store(written)});
    });
  }

  // A piece that follows a piece queued in the same step (always the last thing in the arena)
  // joins it, unless one is CDATA and the other not: the step's limit on bytes bounds the joined
  // text.
  static void XMLCALL OnText(void* user_data, const XML_Char* text, int length) {
    Guarded(user_data, [&](Impl& self) {
      const std::string_view piece(text, static_cast<size_t>(length));
      std::vector<Queued>& queue = self.filling_->queue;
      if (queue.size() > self.step_events_ && queue.back().type == XmlEvent::Type::kText &&
          queue.back().direct == nullptr && queue.back().cdata == self.in_cdata_) {
        self.filling_->arena.append(piece);
        queue.back().span.size += piece.size();
        return;
      }
      queue.push_back({XmlEvent::Type::kText, self.in_cdata_, 0, self.Store(piece)});
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
  bool ahead_;                 // a thread of its own parses (set before it starts)
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
  // The batch the parser adds to, where the current step began in it, and the batch whose
  // events Next() hands out (the same one when parsing on the caller's thread).
  std::array<Batch, kAheadBatches> batches_;
  Batch* filling_ = nullptr;
  size_t step_events_ = 0;
  size_t step_bytes_ = 0;
  Batch* reading_ = nullptr;
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
  // Parsing ahead: batches go from free_ to the parsing thread, and from parsed_ to Next().
  std::mutex mutex_;
  std::condition_variable free_ready_;
  std::condition_variable parsed_ready_;
  std::vector<Batch*> free_;
  std::vector<Batch*> parsed_;
  std::atomic<bool> stopping_{false};
  std::thread worker_;
};

XmlReader::XmlReader(input::ByteSource& utf8, const platform::CString& path, TextPath text_path,
                     Parsing parsing)
    : impl_(std::make_unique<Impl>(utf8, path, text_path, parsing)) {}

XmlReader::~XmlReader() = default;

const XmlEvent& XmlReader::Next() { return impl_->Next(); }

}  // namespace xml
