#include "json.h"

namespace bsp::tools {

void Json::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) fputc(',', out_);
    first_.back() = false;
  }
}

void Json::quoted(std::string_view bytes) {
  fputc('"', out_);
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      fputc('\\', out_);
      fputc(c, out_);
    } else if (c >= 0x20 && c < 0x7F) {
      fputc(c, out_);
    } else {
      fprintf(out_, "\\u%04x", c);
    }
  }
  fputc('"', out_);
}

Json &Json::begin_object() {
  separate();
  fputc('{', out_);
  first_.push_back(true);
  return *this;
}

Json &Json::end_object() {
  fputc('}', out_);
  first_.pop_back();
  return *this;
}

Json &Json::begin_array() {
  separate();
  fputc('[', out_);
  first_.push_back(true);
  return *this;
}

Json &Json::end_array() {
  fputc(']', out_);
  first_.pop_back();
  return *this;
}

Json &Json::key(std::string_view name) {
  separate();
  quoted(name);
  fputc(':', out_);
  after_key_ = true;
  return *this;
}

Json &Json::string(std::string_view bytes) {
  separate();
  quoted(bytes);
  return *this;
}

Json &Json::number(uint64_t value) {
  separate();
  fprintf(out_, "%llu", static_cast<unsigned long long>(value));
  return *this;
}

Json &Json::boolean(bool value) {
  separate();
  fputs(value ? "true" : "false", out_);
  return *this;
}

Json &Json::null() {
  separate();
  fputs("null", out_);
  return *this;
}

void Json::finish() { fputc('\n', out_); }

}  // namespace bsp::tools
