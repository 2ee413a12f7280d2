// A small JSON writer for the tools' --json output: one document per run, written as it goes.
// Strings are raw bytes: printable ASCII stands as it is, every other byte is written as
// \u00XX with the byte's value, so any name read from a hostile record gives valid JSON.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string_view>
#include <vector>

namespace bsp::tools {

class Json {
 public:
  explicit Json(FILE *out) : out_(out) {}
  Json(const Json &) = delete;
  Json &operator=(const Json &) = delete;

  Json &begin_object();
  Json &end_object();
  Json &begin_array();
  Json &end_array();
  Json &key(std::string_view name);
  Json &string(std::string_view bytes);
  Json &number(uint64_t value);
  Json &boolean(bool value);
  Json &null();
  // Ends the document with a newline.
  void finish();

  // key and value in one step
  Json &field(std::string_view name, std::string_view bytes) { return key(name).string(bytes); }
  Json &field(std::string_view name, const char *text) { return key(name).string(text); }
  Json &field(std::string_view name, uint64_t value) { return key(name).number(value); }
  Json &field(std::string_view name, uint32_t value) { return key(name).number(value); }
  Json &field(std::string_view name, int value) { return key(name).number(static_cast<uint64_t>(value)); }
  Json &field(std::string_view name, bool value) { return key(name).boolean(value); }

 private:
  void separate();
  void quoted(std::string_view bytes);

  FILE *out_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool after_key_ = false;
};

}  // namespace bsp::tools
