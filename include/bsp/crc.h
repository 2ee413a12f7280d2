/* Table-driven checksums of the persistent records: a 16-bit CRC and a 32-bit checksum. */
#ifndef BSP_CRC_H
#define BSP_CRC_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Built by BSP_CrcInit; all zero before. */
BSP_API extern unsigned short crc_tab[256];
BSP_API extern unsigned int crc32_tab[256];

BSP_API void BSP_CrcInit(void);
BSP_API void init_crc_tabl(void);
BSP_API void init_crc32_tabl(void);
/* Continues the 16-bit CRC held in *checksum over the bytes. */
BSP_API void make_crc_checksume(unsigned char *buffer, unsigned long length, unsigned short *checksum);
BSP_API unsigned short BSP_Crc16Cal(void *pData, unsigned long ulLen);
BSP_API unsigned short BSP_Crc16CalPlus(void *pData, unsigned long ulLen, unsigned short u16CrcValue);
BSP_API unsigned int BSP_Crc32Cal(void *pData, unsigned int ulLen);

BSP_END_DECLS

#endif
