// The MD5 digest: the test suite of RFC 1321, and random inputs fed in pieces of every size
// against the system's md5sum program.
#include <bsp/bootrom.h>
#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/capture.h"

namespace {

std::string hex(const unsigned char digest[16]) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 16; ++i) {
    out += digits[digest[i] >> 4];
    out += digits[digest[i] & 15];
  }
  return out;
}

const unsigned char *bytes(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

// The digest of data fed to MD5Update in pieces of the given size (the last one shorter).
std::string digest_in_pieces(const std::string &data, size_t piece) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (size_t at = 0; at < data.size(); at += piece) {
    MD5Update(&ctx, bytes(data) + at, static_cast<unsigned>(std::min(piece, data.size() - at)));
  }
  unsigned char digest[16];
  MD5Final(digest, &ctx);
  return hex(digest);
}

std::string md5sum(const std::string &data) {
  bsp::test::ProcessResult r = bsp::test::run_process({"md5sum"}, data);
  EXPECT_EQ(0, r.status);
  return r.out.substr(0, 32);
}

TEST(Md5, Rfc1321TestSuite) {
  struct Case {
    std::string input, digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case &k : cases) {
    unsigned char digest[16] = {};
    MD5Calc(digest, bytes(k.input), static_cast<unsigned>(k.input.size()));
    EXPECT_EQ(k.digest, hex(digest)) << '"' << k.input << '"';
    EXPECT_EQ(k.digest, digest_in_pieces(k.input, 1)) << '"' << k.input << '"';
  }
}

TEST(Md5, RandomInputsInPiecesAgreeWithMd5sum) {
  std::mt19937 random(20240613);
  std::vector<size_t> lengths = {0, 1, 3, 55, 56, 57, 63, 64, 65, 119, 120, 121, 127, 128, 129, 1000, 4095, 4096, 4097};
  for (int i = 0; i < 6; ++i) lengths.push_back(random() % 6000);
  for (size_t len : lengths) {
    std::string data(len, '\0');
    for (char &c : data) c = static_cast<char>(random());
    const std::string expect = md5sum(data);
    // Every piece size up to two blocks and a bit (every position in the 64-byte block), the
    // whole input at once, and a few larger pieces.
    std::vector<size_t> pieces;
    for (size_t p = 1; p <= 130; ++p) pieces.push_back(p);
    for (size_t p : {191, 500, 1024, 4096}) pieces.push_back(p);
    pieces.push_back(len == 0 ? 1 : len);
    for (size_t piece : pieces) {
      ASSERT_EQ(expect, digest_in_pieces(data, piece)) << "length " << len << ", pieces of " << piece;
    }
    // And pieces of uneven sizes.
    MD5_CTX ctx;
    MD5Init(&ctx);
    for (size_t at = 0; at < len;) {
      size_t n = std::min<size_t>(random() % 200, len - at);
      MD5Update(&ctx, bytes(data) + at, static_cast<unsigned>(n));
      at += n;
    }
    unsigned char digest[16];
    MD5Final(digest, &ctx);
    EXPECT_EQ(expect, hex(digest)) << "length " << len << ", uneven pieces";
  }
}

TEST(Md5, ContextLayoutAndBitCount) {
  EXPECT_EQ(0u, offsetof(MD5_CTX, state));
  EXPECT_EQ(16u, offsetof(MD5_CTX, count));
  EXPECT_EQ(24u, offsetof(MD5_CTX, buffer));
  EXPECT_EQ(88u, sizeof(MD5_CTX));

  MD5_CTX ctx;
  MD5Init(&ctx);
  EXPECT_EQ(0x67452301u, ctx.state[0]);
  EXPECT_EQ(0x10325476u, ctx.state[3]);
  MD5Update(&ctx, bytes("abc"), 3);
  EXPECT_EQ(24u, ctx.count[0]);
  EXPECT_EQ(0u, ctx.count[1]);
  EXPECT_EQ('c', ctx.buffer[2]);
  // The bit count carries into the high word.
  ctx.count[0] = 0xFFFFFFF8u;
  MD5Update(&ctx, bytes("d"), 1);
  EXPECT_EQ(0u, ctx.count[0]);
  EXPECT_EQ(1u, ctx.count[1]);
  // The finished context is cleared.
  unsigned char digest[16];
  MD5Final(digest, &ctx);
  const MD5_CTX zero{};
  EXPECT_EQ(0, memcmp(&zero, &ctx, sizeof ctx));
}

TEST(Md5, EncodeAndDecodeAreLittleEndian) {
  const uint32_t words[2] = {0x04030201u, 0xDDCCBBAAu};
  unsigned char out[8];
  Encode(out, words, 8);
  EXPECT_EQ(std::string("\x01\x02\x03\x04\xAA\xBB\xCC\xDD", 8), std::string(reinterpret_cast<char *>(out), 8));
  uint32_t back[2] = {};
  Decode(back, out, 8);
  EXPECT_EQ(words[0], back[0]);
  EXPECT_EQ(words[1], back[1]);

  unsigned char buf[4] = {1, 2, 3, 4};
  MD5_memset(buf, 0xEE, 3);
  EXPECT_EQ(std::string("\xEE\xEE\xEE\x04", 4), std::string(reinterpret_cast<char *>(buf), 4));
  MD5_memcpy(buf, bytes("xy"), 2);
  EXPECT_EQ(std::string("xy\xEE\x04", 4), std::string(reinterpret_cast<char *>(buf), 4));
}

// One block through the compression function alone: the padded empty message.
TEST(Md5, TransformOfThePaddedEmptyMessage) {
  uint32_t state[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  unsigned char block[64] = {0x80};
  MD5Transform(state, block);
  unsigned char digest[16];
  Encode(digest, state, 16);
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", hex(digest));
}

}  // namespace
