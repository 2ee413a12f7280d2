// The one-pass parser of the common conversion forms against the full state machine: for every
// conversion text of up to four characters over the letters that matter, both give the same
// result, consume the same characters and describe the same conversion.
#include <gtest/gtest.h>
#include <stdarg.h>

#include <string>

#include "boundc/print_format.h"

namespace {

using bsp::boundc::ArgList;
using namespace bsp::boundc::print;

// Flags, width digits (0 both a flag and a digit), the dot, the sizes and their look-alikes,
// conversion letters, '%', and characters that are none of these.
constexpr char kLetters[] = "-+ #0159.lhLIq36dsxXcpof%ka";

struct Parsed {
  ParseResult result;
  size_t consumed;
  Conversion conv;
};

Parsed run(ParseResult (*parse)(const char *&, ArgList &, Conversion &), const std::string &text) {
  ArgList args;  // no '*' among the letters: no argument is ever taken
  Conversion conv;
  conv.type = '?';
  const char *p = text.c_str();
  ParseResult r = parse(p, args, conv);
  return {r, static_cast<size_t>(p - text.c_str()), conv};
}

void expect_same(const std::string &text) {
  Parsed fast = run(parse_conversion, text), full = run(parse_full_conversion, text);
  ASSERT_EQ(static_cast<int>(full.result), static_cast<int>(fast.result)) << '"' << text << '"';
  if (full.result == ParseResult::kInvalid) return;  // what is left behind is not used
  ASSERT_EQ(full.consumed, fast.consumed) << '"' << text << '"';
  if (full.result != ParseResult::kConversion) return;
  ASSERT_EQ(full.conv.flags, fast.conv.flags) << '"' << text << '"';
  ASSERT_EQ(full.conv.width, fast.conv.width) << '"' << text << '"';
  ASSERT_EQ(full.conv.precision, fast.conv.precision) << '"' << text << '"';
  ASSERT_EQ(static_cast<int>(full.conv.size), static_cast<int>(fast.conv.size)) << '"' << text << '"';
  ASSERT_EQ(full.conv.type, fast.conv.type) << '"' << text << '"';
}

void all_texts(std::string &text, int left) {
  expect_same(text);
  if (left == 0 || ::testing::Test::HasFatalFailure()) return;
  for (const char *c = kLetters; *c != '\0'; ++c) {
    text.push_back(*c);
    all_texts(text, left - 1);
    text.pop_back();
  }
}

TEST(PrintParse, OnePassFormsAgreeWithTheFullParser) {
  std::string text;
  all_texts(text, 4);
}

TEST(PrintParse, LongWidthsAndTheirLimit) {
  for (const char *text : {"12345d", "1234d", "021474836d", "214748364d", "-0009999x", "99999999999d", "12l5d"})
    expect_same(text);
}

}  // namespace
