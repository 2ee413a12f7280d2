/* Pieces file system: small named files kept in two areas (main and spare) of the flash
   address space, served from a RAM image and committed whole. */
#ifndef BSP_PIECES_H
#define BSP_PIECES_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

BSP_API uint32_t BSP_VfsPiecesConfig(unsigned long ulPieceAddr, unsigned long ulSize);
BSP_API uint32_t BSP_VfsPiecesInit(void);
BSP_API uint32_t BSP_VfsPiecesFileInit(unsigned long ulForce);
BSP_API uint32_t BSP_VfsPiecesFileWrite(char *pcPieceName, unsigned long ulOffset, unsigned char *pucRamBuff,
                                        unsigned long ulLen, unsigned long *pulActLen);
BSP_API uint32_t BSP_VfsPiecesFileRead(char *pcPieceName, unsigned long ulOffset, unsigned char *pucRamBuff,
                                       unsigned long ulLen, unsigned long *pulActLen);
BSP_API uint32_t BSP_VfsPiecesFileDelete(char *pcPieceName, unsigned long ulbDeleFlash);
BSP_API uint32_t BSP_VfsPiecesFileDelete_Unlock(char *pcPieceName, unsigned long ulbDeleFlash);
BSP_API void BSP_VfsPiecesFileShow(void);
BSP_API void BSP_VfsPiecesFileDebug(void);
/* Lists the RAM image; returns the number of descriptors in use. */
BSP_API uint32_t BSP_VfsPiecesFileDebugMem(void);

/* Raw image access. */
BSP_API uint32_t BSP_VfsPieceSet(unsigned char *pucPiece, unsigned long ulSize);
BSP_API uint32_t BSP_VfsPieceCheck(unsigned char *pucPiece, unsigned long ulSize, unsigned short *pusCrc);
BSP_API uint32_t BSP_VfsPiecesRead(unsigned char *pucRamBuff, unsigned long ulOffset, unsigned long ulLen);
BSP_API uint32_t BSP_VfsPiecesMemWrite(unsigned long ulOffset, unsigned char *pucRamBuff, unsigned long ulLen);
BSP_API uint32_t BSP_VfsPiecesWrite(unsigned long ulOffset, unsigned char *pucRamBuff, unsigned long ulLen);

BSP_END_DECLS

#endif
