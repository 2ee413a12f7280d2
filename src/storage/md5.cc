// MD5 message digest (RFC 1321): 64-byte blocks, four rounds of sixteen steps, the length in
// bits appended little-endian after the padding.
#include <bsp/bootrom.h>
#include <stddef.h>
#include <stdint.h>

static_assert(sizeof(MD5_CTX) == 88, "MD5_CTX: 4 state words, 2 count words, 64 bytes");
static_assert(offsetof(MD5_CTX, count) == 16 && offsetof(MD5_CTX, buffer) == 24, "MD5_CTX field order");

namespace {

// The sine table: the integer part of 2^32 * |sin(i + 1)|.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left rotations of the four steps of each round.
constexpr unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr unsigned char kPadding[64] = {0x80};

uint32_t rotate_left(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

extern "C" {

BSP_API void MD5_memcpy(unsigned char *output, const unsigned char *input, unsigned int len) {
  if (output == nullptr || input == nullptr) return;
  for (unsigned int i = 0; i < len; ++i) output[i] = input[i];
}

BSP_API void MD5_memset(unsigned char *output, int value, unsigned int len) {
  if (output == nullptr) return;
  // Volatile: the clearing of a finished context must not be optimised away.
  volatile unsigned char *out = output;
  for (unsigned int i = 0; i < len; ++i) out[i] = static_cast<unsigned char>(value);
}

BSP_API void Encode(unsigned char *output, const uint32_t *input, unsigned int len) {
  if (output == nullptr || input == nullptr) return;
  for (unsigned int i = 0, j = 0; j + 4 <= len; ++i, j += 4) {
    output[j] = static_cast<unsigned char>(input[i]);
    output[j + 1] = static_cast<unsigned char>(input[i] >> 8);
    output[j + 2] = static_cast<unsigned char>(input[i] >> 16);
    output[j + 3] = static_cast<unsigned char>(input[i] >> 24);
  }
}

BSP_API void Decode(uint32_t *output, const unsigned char *input, unsigned int len) {
  if (output == nullptr || input == nullptr) return;
  for (unsigned int i = 0, j = 0; j + 4 <= len; ++i, j += 4) {
    output[i] = static_cast<uint32_t>(input[j]) | (static_cast<uint32_t>(input[j + 1]) << 8) |
                (static_cast<uint32_t>(input[j + 2]) << 16) | (static_cast<uint32_t>(input[j + 3]) << 24);
  }
}

BSP_API void MD5Transform(uint32_t state[4], const unsigned char block[64]) {
  if (state == nullptr || block == nullptr) return;
  uint32_t x[16];
  Decode(x, block, 64);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (unsigned step = 0; step < 64; ++step) {
    const unsigned round = step / 16;
    uint32_t f;
    unsigned word;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        word = step;
        break;
      case 1:
        f = (b & d) | (c & ~d);
        word = (5 * step + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        word = (3 * step + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        word = (7 * step) % 16;
        break;
    }
    const uint32_t rotated = b + rotate_left(a + f + x[word] + kSine[step], kShift[round][step % 4]);
    a = d;
    d = c;
    c = b;
    b = rotated;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  MD5_memset(reinterpret_cast<unsigned char *>(x), 0, sizeof x);
}

BSP_API void MD5Init(MD5_CTX *context) {
  if (context == nullptr) return;
  context->count[0] = context->count[1] = 0;
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
}

BSP_API void MD5Update(MD5_CTX *context, const unsigned char *input, unsigned int inputLen) {
  if (context == nullptr || inputLen == 0 || input == nullptr) return;
  unsigned int index = (context->count[0] >> 3) & 0x3F;
  // The bit count is 64 bits wide across the two words.
  const uint32_t low_bits = static_cast<uint32_t>(inputLen) << 3;
  context->count[0] += low_bits;
  if (context->count[0] < low_bits) ++context->count[1];
  context->count[1] += static_cast<uint32_t>(inputLen) >> 29;
  const unsigned int part = 64 - index;
  unsigned int i = 0;
  if (inputLen >= part) {
    MD5_memcpy(&context->buffer[index], input, part);
    MD5Transform(context->state, context->buffer);
    for (i = part; inputLen - i >= 64; i += 64) MD5Transform(context->state, &input[i]);
    index = 0;
  }
  MD5_memcpy(&context->buffer[index], &input[i], inputLen - i);
}

BSP_API void MD5Final(unsigned char digest[16], MD5_CTX *context) {
  if (context == nullptr) return;
  unsigned char bits[8];
  Encode(bits, context->count, 8);
  const unsigned int index = (context->count[0] >> 3) & 0x3F;
  const unsigned int pad = index < 56 ? 56 - index : 120 - index;
  MD5Update(context, kPadding, pad);
  MD5Update(context, bits, 8);
  if (digest != nullptr) Encode(digest, context->state, 16);
  MD5_memset(reinterpret_cast<unsigned char *>(context), 0, sizeof *context);
}

BSP_API void MD5Calc(unsigned char *output, const unsigned char *input, unsigned int inlen) {
  if (output == nullptr || (input == nullptr && inlen != 0)) return;
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, input, inlen);
  MD5Final(output, &context);
}

}  // extern "C"
