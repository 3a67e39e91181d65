#include "platform/gtk/webkit_snapshot.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "text/sjis.h"

namespace platform::gtk {
namespace {

// A function of a window (the tab's top window, in our isolated world) that takes a snapshot of
// its document and returns it as JSON text: [generation, document], where a document is
// [its number, its tag names joined by spaces, [element index, outer HTML, ...] for INPUT, A and
// SCRIPT, its frames] and a frame is 1 (no window), 2 (document out of reach) or a document.
// The element lists are kept in the window's __miraboSnaps under the generation (the last
// few); generations start at a random number in each document, so one never names an element
// of another document.
constexpr const char kSnapshotFunction[] = R"JS(function (top) {
  var docs = [];
  function walk(doc) {
    var all = doc.getElementsByTagName('*');
    var n = all.length, els = new Array(n), tags = new Array(n), html = [];
    for (var i = 0; i < n; i++) {
      var e = all[i];
      els[i] = e;
      var t = String(e.tagName).toUpperCase();
      tags[i] = t;
      if (t === 'INPUT' || t === 'A' || t === 'SCRIPT') html.push(i, e.outerHTML);
    }
    var index = docs.length;
    docs.push(els);
    var frames = [], win = doc.defaultView, count = 0;
    try { count = win ? win.frames.length : 0; } catch (x) {}
    for (var f = 0; f < count; f++) {
      var fw = null, fd = null;
      try { fw = win.frames[f]; } catch (x) {}
      if (!fw) { frames.push(1); continue; }
      try { fd = fw.document; } catch (x) {}
      frames.push(fd ? walk(fd) : 2);
    }
    return [index, tags.join(' '), html, frames];
  }
  var root = walk(top.document);
  if (!top.__miraboGen) top.__miraboGen = Math.floor(Math.random() * 1e9) * 1000;
  var gen = ++top.__miraboGen;
  var kept = top.__miraboSnaps || (top.__miraboSnaps = {});
  kept[gen] = docs;
  for (var k in kept) if (Number(k) <= gen - 4) delete kept[k];
  return JSON.stringify([gen, root]);
})JS";

// Rewrites one element of a kept snapshot: (generation, document, element, html).
constexpr const char kSetOuterHtmlScript[] = R"JS((function (gen, d, i, html) {
  var kept = window.__miraboSnaps, docs = kept && kept[gen];
  var e = docs && docs[d] && docs[d][i];
  if (e && e.parentNode) { try { e.outerHTML = html; } catch (x) {} }
})JS"
                                             ")";

// A small JSON reader, enough for what our scripts send.
struct Json {
  enum class Type { Null, Bool, Number, String, Array } type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> items;
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}

  bool Read(Json* out) {
    if (!Value(out, 0)) return false;
    Space();
    return pos_ == s_.size();
  }

 private:
  void Space() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
      ++pos_;
  }

  bool Literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool Value(Json* out, int depth) {
    if (depth > 200) return false;
    Space();
    if (pos_ >= s_.size()) return false;
    char c = s_[pos_];
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      out->type = Json::Type::String;
      return String(&out->string);
    }
    if (c == 't' || c == 'f') {
      out->type = Json::Type::Bool;
      out->boolean = c == 't';
      return Literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') return Literal("null");
    return Number(out);
  }

  bool Array(Json* out, int depth) {
    out->type = Json::Type::Array;
    ++pos_;
    Space();
    if (pos_ < s_.size() && s_[pos_] == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      out->items.emplace_back();
      if (!Value(&out->items.back(), depth + 1)) return false;
      Space();
      if (pos_ >= s_.size()) return false;
      if (s_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (s_[pos_] == ']') {
        ++pos_;
        return true;
      }
      return false;
    }
  }

  bool Number(Json* out) {
    std::size_t start = pos_;
    while (pos_ < s_.size() &&
           (s_[pos_] == '-' || s_[pos_] == '+' || s_[pos_] == '.' || s_[pos_] == 'e' ||
            s_[pos_] == 'E' || (s_[pos_] >= '0' && s_[pos_] <= '9')))
      ++pos_;
    if (pos_ == start) return false;
    std::string digits(s_.substr(start, pos_ - start));
    char* end = nullptr;
    out->number = std::strtod(digits.c_str(), &end);
    out->type = Json::Type::Number;
    return end && *end == '\0';
  }

  bool Hex4(unsigned* out) {
    if (pos_ + 4 > s_.size()) return false;
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9')
        v |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        v |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        v |= static_cast<unsigned>(c - 'A' + 10);
      else
        return false;
    }
    *out = v;
    return true;
  }

  static void Put(std::string* out, unsigned cp) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  bool String(std::string* out) {
    ++pos_;  // the opening quote
    for (;;) {
      std::size_t run = pos_;
      while (pos_ < s_.size() && s_[pos_] != '"' && s_[pos_] != '\\') ++pos_;
      out->append(s_.substr(run, pos_ - run));
      if (pos_ >= s_.size()) return false;
      if (s_[pos_] == '"') {
        ++pos_;
        return true;
      }
      ++pos_;  // the backslash
      if (pos_ >= s_.size()) return false;
      char c = s_[pos_++];
      switch (c) {
        case '"':
          out->push_back('"');
          break;
        case '\\':
          out->push_back('\\');
          break;
        case '/':
          out->push_back('/');
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'u': {
          unsigned cp = 0;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
            std::size_t back = pos_;
            pos_ += 2;
            unsigned low = 0;
            if (Hex4(&low) && low >= 0xDC00 && low < 0xE000)
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else
              pos_ = back;
          }
          if (cp >= 0xD800 && cp < 0xE000) cp = '?';  // a lone surrogate
          Put(out, cp);
          break;
        }
        default:
          return false;
      }
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

const char* SnapshotFunction() { return kSnapshotFunction; }

std::string SnapshotScript() { return std::string("(") + kSnapshotFunction + ")(window)"; }

bool ParsePageReport(const std::string& json, PageReport* out) {
  Json value;
  if (!JsonReader(json).Read(&value) || value.type != Json::Type::Array || value.items.size() < 4 ||
      value.items[0].type != Json::Type::Number || value.items[1].type != Json::Type::String ||
      value.items[2].type != Json::Type::String || value.items[3].type != Json::Type::Bool)
    return false;
  out->view = static_cast<long>(value.items[0].number);
  out->kind = value.items[1].string;
  out->url = value.items[2].string;
  out->top = value.items[3].boolean;
  if (value.items.size() > 4 && value.items[4].type == Json::Type::String)
    out->snapshot = std::move(value.items[4].string);
  if (value.items.size() > 5 && value.items[5].type == Json::Type::Number)
    out->at_ms = value.items[5].number;
  return true;
}

std::string JsString(const std::string& s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == '<') {
          // "<" too, so no "</script>" or "<!--" ever appears in the source.
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(s[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(s[i + 2]) == 0xA9)) {
          // U+2028 and U+2029 end a line in older script parsers.
          out += static_cast<unsigned char>(s[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out += "\"";
  return out;
}

struct Snapshot::Reader {
  // Reads one document of the form [number, "TAGS", [i, html, ...], [frames]].
  static bool Document(const Json& v, Snapshot* doc) {
    if (v.type != Json::Type::Array || v.items.size() != 4 ||
        v.items[0].type != Json::Type::Number || v.items[1].type != Json::Type::String ||
        v.items[2].type != Json::Type::Array || v.items[3].type != Json::Type::Array)
      return false;
    doc->index_ = static_cast<int>(v.items[0].number);
    const std::string& tags = v.items[1].string;
    std::size_t start = 0;
    while (start < tags.size()) {
      std::size_t space = tags.find(' ', start);
      if (space == std::string::npos) space = tags.size();
      doc->tags_.push_back(tags.substr(start, space - start));
      start = space + 1;
    }
    doc->html_.assign(doc->tags_.size(), std::string());
    const auto& html = v.items[2].items;
    for (std::size_t k = 0; k + 1 < html.size(); k += 2) {
      if (html[k].type != Json::Type::Number || html[k + 1].type != Json::Type::String)
        return false;
      auto i = static_cast<std::size_t>(html[k].number);
      if (i < doc->html_.size()) doc->html_[i] = text::ToSjis(html[k + 1].string);
    }
    for (const Json& f : v.items[3].items) {
      FrameSlot slot;
      if (f.type == Json::Type::Number) {
        slot.access = f.number == 2 ? FrameAccess::NoDocument : FrameAccess::NoWindow;
      } else {
        slot.document = std::make_unique<Snapshot>(doc->link_);
        slot.document->generation_ = doc->generation_;
        if (!Document(f, slot.document.get())) return false;
        slot.access = FrameAccess::Ok;
      }
      doc->frames_.push_back(std::move(slot));
    }
    return true;
  }
};

Snapshot::Snapshot(std::shared_ptr<EngineLink> link) : link_(std::move(link)) {}

Snapshot::~Snapshot() = default;

bool Snapshot::Parse(const std::string& json) {
  Json value;
  if (!JsonReader(json).Read(&value) || value.type != Json::Type::Array ||
      value.items.size() != 2 || value.items[0].type != Json::Type::Number)
    return false;
  generation_ = static_cast<std::uint64_t>(value.items[0].number);
  if (!Reader::Document(value.items[1], this)) {
    tags_.clear();
    html_.clear();
    frames_.clear();
    return false;
  }
  return true;
}

int Snapshot::FrameCount() { return static_cast<int>(frames_.size()); }

Snapshot::FrameAccess Snapshot::Frame(int i, platform::Document** out) {
  if (i < 0 || i >= FrameCount()) return FrameAccess::NoWindow;
  FrameSlot& slot = frames_[static_cast<std::size_t>(i)];
  if (slot.access == FrameAccess::Ok && out) *out = slot.document.get();
  return slot.access;
}

std::size_t Snapshot::ElementCount() { return tags_.size(); }

std::string Snapshot::TagName(std::size_t i) { return i < tags_.size() ? tags_[i] : ""; }

std::string Snapshot::OuterHtml(std::size_t i) { return i < html_.size() ? html_[i] : ""; }

void Snapshot::SetOuterHtml(std::size_t i, const std::string& html) {
  if (i >= tags_.size()) return;
  // The copy says what the program wrote; the elements the new markup makes are not in it
  // (the next completed document's snapshot has them).
  html_[i] = html;
  if (!link_ || !link_->runner) return;
  std::string script = kSetOuterHtmlScript;
  script += "(" + std::to_string(generation_) + "," + std::to_string(index_) + "," +
            std::to_string(i) + "," + JsString(text::ToUtf8(html)) + ")";
  link_->runner->RunInWorld(script);
}

}  // namespace platform::gtk
