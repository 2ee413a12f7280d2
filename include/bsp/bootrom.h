/* Boot ROM update between the partitions BOOT1 and BOOT2, and the MD5 message digest of
   RFC 1321. */
#ifndef BSP_BOOTROM_H
#define BSP_BOOTROM_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Makes the boot ROM copy the board did not start from equal to the one it did. 0 when the
   two copies are equal at the end, 1 on any failure. */
BSP_API uint32_t flash_update_boot(void);

/* MD5 context: the state words, the message length in bits (low word first) and the bytes
   of the block being gathered. */
typedef struct {
  uint32_t state[4];
  uint32_t count[2];
  unsigned char buffer[64];
} MD5_CTX;

BSP_API void MD5Init(MD5_CTX *context);
BSP_API void MD5Update(MD5_CTX *context, const unsigned char *input, unsigned int inputLen);
/* Writes the 16-byte digest and clears the context. */
BSP_API void MD5Final(unsigned char digest[16], MD5_CTX *context);
BSP_API void MD5Transform(uint32_t state[4], const unsigned char block[64]);
/* Words to bytes and bytes to words, little-endian; len counts bytes (a multiple of 4). */
BSP_API void Encode(unsigned char *output, const uint32_t *input, unsigned int len);
BSP_API void Decode(uint32_t *output, const unsigned char *input, unsigned int len);
BSP_API void MD5_memcpy(unsigned char *output, const unsigned char *input, unsigned int len);
BSP_API void MD5_memset(unsigned char *output, int value, unsigned int len);
/* The 16-byte digest of inlen bytes of input. */
BSP_API void MD5Calc(unsigned char *output, const unsigned char *input, unsigned int inlen);

BSP_END_DECLS

#endif
