#include "kml/xml_reader.h"

// Both builds of the library (Debian's and the one made for Windows) have DTD support; its
// header declares the entity amplification limits only when told so.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kml {
namespace {

using platform::CFileException;
using platform::CString;

// Bytes handed to the parser at a time.
constexpr int kChunkSize = 64 << 10;
// The parser is suspended once this much waits to be taken, so that a document of any size,
// or a text of any length, passes through in bounded memory.
constexpr size_t kMaxQueuedEvents = 4096;
constexpr size_t kMaxQueuedBytes = 256 << 10;
// The parser holds one piece of markup (a tag with its attributes, a comment, a declaration)
// whole before it reports it; one longer than this is refused, so that a file of 'x's or an
// endless tag cannot make it hold the whole file.
constexpr size_t kMaxMarkupBytes = size_t{8} << 20;

// Names are taken as written: no namespace processing, only the prefix is dropped.
std::string_view LocalName(const XML_Char* name) {
  // One pass: every element and attribute name comes through here.
  const XML_Char* local = name;
  const XML_Char* p = name;
  for (; *p != 0; ++p) {
    if (*p == ':') local = p + 1;
  }
  return std::string_view(local, static_cast<size_t>(p - local));
}

}  // namespace

class XmlReader::Impl {
 public:
  Impl(ByteSource& utf8, const CString& path) : source_(utf8), path_(path) {
    // What may fail for want of memory comes first: once the parser exists, a throw from this
    // constructor would lose it.
    arena_.reserve(kMaxQueuedBytes + kChunkSize);
    // The layer below hands on UTF-8 whatever the document's declaration says.
    parser_ = XML_ParserCreate("UTF-8");
    if (parser_ == nullptr) throw CFileException(CFileException::outOfMemory, path_);
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Impl::OnStart, &Impl::OnEnd);
    XML_SetCharacterDataHandler(parser_, &Impl::OnText);
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
    event_ = XmlEvent();
    event_.type = queued.type;
    if (queued.type == XmlEvent::Type::kText) {
      event_.text = View(queued.text);
      return event_;
    }
    event_.name = View(queued.name);
    if (queued.type == XmlEvent::Type::kStart) {
      attributes_.clear();
      for (size_t i = 0; i < queued.attribute_count; ++i) {
        const auto& [name, value] = attribute_spans_[queued.first_attribute + i];
        attributes_.emplace_back(View(name), View(value));
      }
      event_.attributes = attributes_;
    }
    return event_;
  }

 private:
  // A stretch of the arena.
  struct Span {
    size_t offset = 0;
    size_t size = 0;
  };
  struct Queued {
    XmlEvent::Type type;
    Span name;
    Span text;
    size_t first_attribute = 0;
    size_t attribute_count = 0;
  };

  std::string_view View(Span span) const {
    return std::string_view(arena_).substr(span.offset, span.size);
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
    while (queue_.empty() && !finished_) ParseMore();
  }

  void ParseMore() {
    XML_Status status;
    if (suspended_) {
      suspended_ = false;
      status = XML_ResumeParser(parser_);
    } else {
      void* buffer = XML_GetBuffer(parser_, kChunkSize);
      if (buffer == nullptr) throw CFileException(CFileException::outOfMemory, path_);
      const size_t count = source_.Read(static_cast<char*>(buffer), kChunkSize);
      final_ = count == 0;
      reported_ = false;
      status = XML_ParseBuffer(parser_, static_cast<int>(count), final_ ? XML_TRUE : XML_FALSE);
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
        break;
      default:
        ThrowNotWellFormed(too_deep_ ? CString("elements nested too deeply")
                                     : CString(XML_ErrorString(XML_GetErrorCode(parser_))));
    }
  }

  [[noreturn]] void ThrowNotWellFormed(const CString& message) {
    // The parser counts columns from 0, people from 1.
    const std::string line = std::to_string(XML_GetCurrentLineNumber(parser_));
    const std::string column = std::to_string(XML_GetCurrentColumnNumber(parser_) + 1);
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
      Queued queued{XmlEvent::Type::kStart, self.Store(LocalName(name)), {}, 0, 0};
      queued.first_attribute = self.attribute_spans_.size();
      for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
        const Span attribute_name = self.Store(LocalName(attribute[0]));
        self.attribute_spans_.emplace_back(attribute_name, self.Store(attribute[1]));
        ++queued.attribute_count;
      }
      self.queue_.push_back(queued);
    });
  }

  static void XMLCALL OnEnd(void* user_data, const XML_Char* name) {
    Guarded(user_data, [&](Impl& self) {
      --self.depth_;
      self.queue_.push_back({XmlEvent::Type::kEnd, self.Store(LocalName(name)), {}, 0, 0});
    });
  }

  // A piece that follows a queued piece (always the last thing in the arena) joins it: the
  // queue's limit on bytes bounds the joined text.
  static void XMLCALL OnText(void* user_data, const XML_Char* text, int length) {
    Guarded(user_data, [&](Impl& self) {
      const std::string_view piece(text, static_cast<size_t>(length));
      if (!self.queue_.empty() && self.queue_.back().type == XmlEvent::Type::kText) {
        self.arena_.append(piece);
        self.queue_.back().text.size += piece.size();
        return;
      }
      self.queue_.push_back({XmlEvent::Type::kText, {}, self.Store(piece), 0, 0});
    });
  }

  static void XMLCALL OnOther(void* user_data, const XML_Char*, int) {
    static_cast<Impl*>(user_data)->reported_ = true;
  }

  ByteSource& source_;
  const CString path_;
  XML_Parser parser_ = nullptr;
  std::string arena_;
  std::vector<Queued> queue_;
  std::vector<std::pair<Span, Span>> attribute_spans_;
  size_t next_ = 0;
  XmlEvent event_;
  std::vector<std::pair<std::string_view, std::string_view>> attributes_;
  int depth_ = 0;
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

XmlReader::XmlReader(ByteSource& utf8, const platform::CString& path)
    : impl_(std::make_unique<Impl>(utf8, path)) {}

XmlReader::~XmlReader() = default;

const XmlEvent& XmlReader::Next() { return impl_->Next(); }

}  // namespace kml
