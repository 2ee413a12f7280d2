// gets_s reading standard input through a pipe.
#include <bsp/boundc.h>
#include <gtest/gtest.h>

#include <string>

#include "support/capture.h"

namespace {

// The probe reads a pipe fed by cat, not the file run_process puts on standard input.
std::string gets_through_pipe(const std::string &input, const std::string &size) {
  std::string command = "cat |";
  for (const std::string &word : bsp::test::with_emulator({BOUNDC_GETS_PROBE, size})) command += " '" + word + "'";
  auto r = bsp::test::run_process({"/bin/sh", "-c", command}, input);
  EXPECT_EQ(0, r.status) << r.err;
  return r.out;
}

struct GetsCase {
  const char *what;
  const char *input;
  const char *size;
  const char *calls;
};

const GetsCase kCases[] = {
    {"one line", "hello\n", "10", "[hello]\nNULL\n"},
    {"CR LF stripped", "hello\r\n", "10", "[hello]\nNULL\n"},
    {"all trailing CR stripped", "a\r\r\nb\r", "10", "[a]\n[b]\nNULL\n"},
    {"inner CR kept", "a\rb\n", "10", "[a\rb]\nNULL\n"},
    {"long line in pieces", "abcdefghij\n", "5", "[abcd]\n[efgh]\n[ij]\nNULL\n"},
    {"exact fit keeps LF for next call", "abcd\nxy\n", "5", "[abcd]\n[]\n[xy]\nNULL\n"},
    {"empty lines", "\n\nz\n", "10", "[]\n[]\n[z]\nNULL\n"},
    {"last line without LF", "one\ntwo", "10", "[one]\n[two]\nNULL\n"},
    {"end of input at once", "", "10", "NULL\n"},
    {"size 0", "hello\n", "0", "NULL\n"},
    {"size above limit", "hello\n", "0x80000000", "NULL\n"},
};

TEST(GetsS, ReadsLinesFromAPipe) {
  for (const GetsCase &c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.calls, gets_through_pipe(c.input, c.size));
  }
}

TEST(GetsS, NullBufferReadsNothing) { EXPECT_EQ(nullptr, gets_s(nullptr, 10)); }

}  // namespace
