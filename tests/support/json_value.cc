#include "support/json_value.h"

#include <stdlib.h>
#include <string.h>

namespace bsp::test {
namespace {

const JsonValue kNull;

struct Parser {
  const std::string &s;
  size_t i = 0;
  int depth = 0;

  void blanks() {
    while (i < s.size() && strchr(" \t\r\n", s[i]) != nullptr) ++i;
  }
  bool eat(char c) {
    blanks();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  bool word(const char *w, JsonValue &v, JsonValue::Type t, bool b) {
    size_t n = strlen(w);
    if (s.compare(i, n, w) != 0) return false;
    i += n;
    v.type = t;
    v.boolean = b;
    return true;
  }
  static void utf8(std::string &out, unsigned cp) {
    if (cp < 0x100 && cp >= 0x80) {
      out += static_cast<char>(cp);  // a raw byte, as the tools escape them
    } else if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  bool string(std::string &out) {
    if (!eat('"')) return false;
    while (i < s.size()) {
      unsigned char c = static_cast<unsigned char>(s[i++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (i >= s.size()) return false;
      char e = s[i++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          if (i + 4 > s.size()) return false;
          char hex[5] = {s[i], s[i + 1], s[i + 2], s[i + 3], 0};
          char *end = nullptr;
          unsigned long cp = strtoul(hex, &end, 16);
          if (end != hex + 4) return false;
          i += 4;
          utf8(out, static_cast<unsigned>(cp));
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool value(JsonValue &v) {
    if (++depth > 64) return false;
    blanks();
    if (i >= s.size()) return false;
    bool ok = false;
    char c = s[i];
    if (c == '{') {
      ++i;
      v.type = JsonValue::Type::Object;
      ok = true;
      if (!eat('}')) {
        do {
          std::string key;
          JsonValue member;
          if (!string(key) || !eat(':') || !value(member)) return false;
          v.members[key] = std::move(member);
        } while (eat(','));
        ok = eat('}');
      }
    } else if (c == '[') {
      ++i;
      v.type = JsonValue::Type::Array;
      ok = true;
      if (!eat(']')) {
        do {
          JsonValue item;
          if (!value(item)) return false;
          v.items.push_back(std::move(item));
        } while (eat(','));
        ok = eat(']');
      }
    } else if (c == '"') {
      v.type = JsonValue::Type::String;
      ok = string(v.text);
    } else if (c == 't') {
      ok = word("true", v, JsonValue::Type::Bool, true);
    } else if (c == 'f') {
      ok = word("false", v, JsonValue::Type::Bool, false);
    } else if (c == 'n') {
      ok = word("null", v, JsonValue::Type::Null, false);
    } else {
      const char *start = s.c_str() + i;
      char *end = nullptr;
      v.number = strtod(start, &end);
      ok = end != start;
      v.type = JsonValue::Type::Number;
      i += static_cast<size_t>(end - start);
    }
    --depth;
    return ok;
  }
};

}  // namespace

const JsonValue &JsonValue::operator[](const std::string &key) const {
  auto it = members.find(key);
  return it == members.end() ? kNull : it->second;
}

const JsonValue &JsonValue::operator[](size_t i) const { return i < items.size() ? items[i] : kNull; }

std::optional<JsonValue> parse_json(const std::string &text) {
  Parser p{text};
  JsonValue v;
  if (!p.value(v)) return std::nullopt;
  p.blanks();
  if (p.i != text.size()) return std::nullopt;
  return v;
}

}  // namespace bsp::test
