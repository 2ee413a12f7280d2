#pragma once

#include <stdint.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bsp::test {

// A parsed JSON document, for tests that read a tool's --json output. \u escapes below 0x100
// come back as that byte (the tools write raw bytes so), others as UTF-8.
struct JsonValue {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  bool is_null() const { return type == Type::Null; }
  bool has(const std::string &key) const { return members.count(key) != 0; }
  // A missing member or item is a null value.
  const JsonValue &operator[](const std::string &key) const;
  const JsonValue &operator[](size_t i) const;
  uint64_t u() const { return static_cast<uint64_t>(number); }
};

// The document, or nothing when the text is not exactly one JSON value (blanks around it).
std::optional<JsonValue> parse_json(const std::string &text);

}  // namespace bsp::test
