// The bootloader's functions. They keep C linkage under their established names; the program
// exports nothing, so these are internal to the loader and its tests.
#pragma once

#include <bsp/loadstate.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Boot log and string helpers. */
void Boot_Record_Info(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Boot_Record_Error(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Boot_WriteTofile(const char *message);
void Boot_StrCpy_Safe(char *dest, const char *src, int32_t destSize);
void Boot_StrCat_Safe(char *dest, const char *src, int32_t destSize);
int32_t Boot_GetFileSize(const char *path);
void Boot_StopRun(void);
int32_t Boot_Init(void);

/* Startup package reader. The EFS block arguments are 68-byte buffers. */
int32_t Boot_GetSubFileInfo(const char *pktPath, const char *subFileName, uint64_t *offset,
                            uint32_t *length);
int32_t Boot_GetSubFileEfsInfo(const char *pktPath, const char *subFileName, uint8_t *efs);
int32_t Bootload_GetFileEfsInfo(const char *path, uint8_t *efs);
int32_t Boot_SaveFileToImg(const void *data, uint32_t length, const char *path);
int32_t Boot_VFSFilePathIntoLinuxFilePath(const char *vfsPath, char *linuxPath);

/* Boot subareas. */
int32_t Boot_GetCurrentSubareaPath(const char *path, char *buffer);
int32_t Boot_SubFileIsNeedUpdate(const char *pktPath, const char *subFileName);
int32_t Boot_UpdateSubfile(const char *pktPath, const char *subFileName);
int32_t Boot_CheckAndUpdate(const char *pktPath, const char *subFileName);
int32_t Boot_SynTwoSubareaFileIs(const char *cmdline);
int32_t Boot_CheckAndSynSubarea(const char *pktPath);

/* Entry and auto-start flow. */
extern uint32_t g_ulSearchPktCnt;
int32_t Boot_AutoStartSystemfromCC(void);
int32_t Boot_UpdateAndMountStartupPacket(const char *pktPath);
int32_t Load_MountPacketAppSquashfs(const char *pktPath);
int32_t Boot_AutoSearchPktStartup(LOAD_STATE_WORD_S *stateWord);
int32_t Boot_AutoSearchPktInOs(const char *dir, const char *const *excluded, uint32_t excludedCount,
                               char *found);

#ifdef __cplusplus
}
#endif
