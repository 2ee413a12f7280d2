/* Bounded memory, string, print and scan functions. */
#ifndef BSP_BOUNDC_H
#define BSP_BOUNDC_H

#include <bsp/bsp_types.h>
#include <stdarg.h>
#include <stdio.h>

BSP_BEGIN_DECLS

#ifndef __errno_t_defined
typedef int errno_t;
#define __errno_t_defined 1
#endif

/* Result codes. The BOUND_ codes are a standard code plus 128: the destination was also
   cleared (or filled, for memset_s). */
#define BOUND_OK 0
#ifndef EINVAL
#define EINVAL 22
#endif
#ifndef ERANGE
#define ERANGE 34
#endif
#define BOUND_INVALID_CLEARED 150
#define BOUND_RANGE_CLEARED 162
#define BOUND_OVERLAP_CLEARED 182

/* Largest destination size and count. */
#define BOUND_MAX_SIZE 0x7FFFFFFFUL

/* Output stream record of the print engine. */
typedef struct {
  int count; /* room left */
  char *cur; /* next output position */
} SecPrintfStream;

/* Input stream record of the scan engine. */
#define SECUREC_FROM_STRING 0x1u
#define SECUREC_FROM_FILE 0x2u
#define SECUREC_FROM_STDIN 0x4u
#define SECUREC_FILE_BUFFERED 0x8u
typedef struct {
  unsigned int flag;  /* kind of source: 1 string, 2 file, 4 standard input, 8 buffered data */
  int count;          /* characters left in the buffer */
  const char *cur;    /* next character */
  char *base;         /* the 1025-byte read buffer of a file */
  FILE *pf;
  long oriFilePos;    /* file position before the scan, or -1 not yet taken */
  int fileRealRead;   /* characters consumed from the file */
} SecFileStream;

BSP_API errno_t memcpy_s(void *dest, size_t destMax, const void *src, size_t count);
BSP_API errno_t memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count);
BSP_API errno_t memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count);
BSP_API errno_t memmove_s(void *dest, size_t destMax, const void *src, size_t count);
BSP_API errno_t memset_s(void *dest, size_t destMax, int c, size_t count);
BSP_API errno_t memset_sOptAsm(void *dest, size_t destMax, int c, size_t count);
BSP_API errno_t memset_sOptTc(void *dest, size_t destMax, int c, size_t count);

BSP_API errno_t strcpy_s(char *strDest, size_t destMax, const char *strSrc);
BSP_API errno_t strncpy_s(char *strDest, size_t destMax, const char *strSrc, size_t count);
BSP_API errno_t strcat_s(char *strDest, size_t destMax, const char *strSrc);
BSP_API errno_t strncat_s(char *strDest, size_t destMax, const char *strSrc, size_t count);
BSP_API errno_t strcpy_error(char *strDest, size_t destMax, const char *strSrc);
BSP_API errno_t strncpy_error(char *strDest, size_t destMax, const char *strSrc, size_t count);
BSP_API char *gets_s(char *buffer, size_t numberOfElements);

BSP_API int sprintf_s(char *strDest, size_t destMax, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
BSP_API int vsprintf_s(char *strDest, size_t destMax, const char *format, va_list argList);
BSP_API int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
BSP_API int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format, va_list argList);
BSP_API int snprintf_truncated_s(char *strDest, size_t destMax, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
BSP_API int vsnprintf_truncated_s(char *strDest, size_t destMax, const char *format, va_list argList);
BSP_API int SecVsnprintfImpl(char *string, size_t count, const char *format, va_list argList);

BSP_API int sscanf_s(const char *buffer, const char *format, ...);
BSP_API int vsscanf_s(const char *buffer, const char *format, va_list argList);
BSP_API int scanf_s(const char *format, ...);
BSP_API int vscanf_s(const char *format, va_list argList);
BSP_API int fscanf_s(FILE *stream, const char *format, ...);
BSP_API int vfscanf_s(FILE *stream, const char *format, va_list argList);
BSP_API int SecInputS(SecFileStream *stream, const char *cFormat, va_list argList);
BSP_API void SecClearDestBuf(const char *buffer, const char *format, va_list argList);

BSP_END_DECLS

#endif
