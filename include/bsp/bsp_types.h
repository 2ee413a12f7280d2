/* Common definitions of the board support headers. */
#ifndef BSP_BSP_TYPES_H
#define BSP_BSP_TYPES_H

#include <stddef.h>
#include <stdint.h>

#if defined(BSP_BUILDING) || defined(BOUNDC_BUILDING)
#define BSP_API __attribute__((visibility("default")))
#else
#define BSP_API
#endif

#ifdef __cplusplus
#define BSP_BEGIN_DECLS extern "C" {
#define BSP_END_DECLS }
#else
#define BSP_BEGIN_DECLS
#define BSP_END_DECLS
#endif

#endif
