#include "json.h"

#include <cstdlib>
#include <stdexcept>

namespace e2e {
namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  Json Document() {
    Json value = Parse();
    SkipBlanks();
    if (at_ != text_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(at_));
  }

  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' ||
                                  text_[at_] == '\n'))
      ++at_;
  }

  bool Take(char c) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  void Expect(char c) {
    if (!Take(c)) Fail("a missing punctuation mark");
  }

  bool Word(const char* w) {
    const std::string expected(w);
    if (text_.compare(at_, expected.size(), expected) != 0) return false;
    at_ += expected.size();
    return true;
  }

  Json Parse() {
    SkipBlanks();
    if (at_ >= text_.size()) Fail("the end of the text");
    Json value;
    const char c = text_[at_];
    if (c == '{') {
      value.kind = Json::Kind::Object;
      ++at_;
      if (Take('}')) return value;
      do {
        SkipBlanks();
        std::string name = String();
        Expect(':');
        value.members.emplace_back(std::move(name), Parse());
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      value.kind = Json::Kind::Array;
      ++at_;
      if (Take(']')) return value;
      do value.items.push_back(Parse());
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      value.kind = Json::Kind::String;
      value.text = String();
    } else if (Word("true")) {
      value.kind = Json::Kind::Bool;
      value.boolean = true;
    } else if (Word("false")) {
      value.kind = Json::Kind::Bool;
    } else if (Word("null")) {
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      value.kind = Json::Kind::Number;
      char* end = nullptr;
      value.integer = static_cast<long long>(std::strtod(text_.c_str() + at_, &end));
      at_ = end - text_.c_str();
    } else {
      Fail("an unknown value");
    }
    return value;
  }

  std::string String() {
    if (at_ >= text_.size() || text_[at_] != '"') Fail("a missing string");
    std::string out;
    for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
      if (text_[at_] != '\\') {
        out += text_[at_];
        continue;
      }
      if (++at_ >= text_.size()) break;
      switch (text_[at_]) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          const unsigned long code = std::strtoul(text_.substr(at_ + 1, 4).c_str(), nullptr, 16);
          if (code > 0xFF) Fail("a character outside Latin-1");
          out += static_cast<char>(code);
          at_ += 4;
          break;
        }
        default: out += text_[at_];  // " \ /
      }
    }
    if (at_ >= text_.size()) Fail("an unclosed string");
    ++at_;
    return out;
  }

  const std::string& text_;
  size_t at_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& name) const {
  static const Json kNull;
  for (const auto& member : members)
    if (member.first == name) return member.second;
  return kNull;
}

bool Json::Has(const std::string& name) const {
  for (const auto& member : members)
    if (member.first == name) return true;
  return false;
}

Json ParseJson(const std::string& text) { return Parser(text).Document(); }

}  // namespace e2e
