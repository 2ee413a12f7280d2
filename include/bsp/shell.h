/* Debug command shell: command tree and parser, print capture, memory dump, board commands. */
#ifndef BSP_SHELL_H
#define BSP_SHELL_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* ---- command tree and parser ---- */

/* Circular doubly linked list link; an empty list's head points to itself both ways. */
typedef struct queue_s {
  struct queue_s *q_next;
  struct queue_s *q_prev;
} queue_t;

/* One token: one heap block of the link and the NUL-terminated text. */
typedef struct ui_token_s {
  queue_t qb;
  char token[];
} ui_token_t;

/* Ordinary handler: the line's six numbers in order (0 where none was given). */
typedef unsigned long (*cmdpfunc)(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long,
                                  unsigned long);

/* One registration row. usage may begin with a count marker such as "[argcnt=1]". */
typedef struct cmdline_s {
  char *command;
  cmdpfunc func;
  char *help;
  char *usage;
} cmdline_t;

/* Any number (0 to 6) of numeric arguments. */
#define CMD_ARGCNT_ANY 0x55AA

/* One node of the command tree; the node block carries its word right after it. */
typedef struct cmdtab_s {
  struct cmdtab_s *sibling;
  struct cmdtab_s *child;
  char *cmdword;
  cmdpfunc func;
  char *help;
  char *usage;
  int argcnt;
} cmdtab_t;

#define CMD_MAX_WORDS 64
#define CMD_MAX_NUMBERS 6

/* One parsed command line. */
typedef struct ui_cmdline_s {
  int argc;
  char *argv[CMD_MAX_WORDS];
  int fargc;
  int32_t fargv[CMD_MAX_NUMBERS];
  cmdpfunc func;
  int argcnt;
  int argidx;
  char *usage;
} ui_cmdline_t;

BSP_API extern cmdtab_t *cmd_root;
BSP_API extern int g_cmdinit;
BSP_API extern int g_seclogcmdinit;

BSP_API int DRV_RegCmdList(cmdline_t *p_cmdlist, int cnt);
BSP_API int cmd_regcmd(char *command, cmdpfunc func, char *help, char *usage);
BSP_API int cmd_addcmd(char *command, cmdpfunc func, void *ref, char *help, char *usage, char *switches);
BSP_API int ui_cmdinit(void);
BSP_API int ui_init_cmddisp(void);
BSP_API void cmd_init(void);
BSP_API int seclog_cmdinit(void);
BSP_API char *cmd_analyze_usage(char *usage, int *argcnt);

/* str must be writable: the line is changed in place. */
BSP_API int ui_docommands(char *str);
BSP_API int cmd_checkinput(char *str);
BSP_API void cmd_build_list(queue_t *qb, char *buf);
BSP_API void cmd_build_cmdline(queue_t *head, ui_cmdline_t *cmd);
BSP_API int cmd_lookup(queue_t *head, ui_cmdline_t *cmd);
BSP_API void cmd_free(ui_cmdline_t *cmd);
BSP_API void cmd_free_tokens(queue_t *list);
BSP_API void cmd_eat_leading_white(queue_t *head);
BSP_API void dumplist(queue_t *qb);

/* The handler of "help"; registered through cmdpfunc and called back in this form. */
BSP_API int cmd_help(ui_cmdline_t *cmd, int argc, char **argv);
BSP_API void dumpcmds(int verbose);
BSP_API void _dumpcmds(cmdtab_t *cmd, int level, char **words, int verbose);
/* The caller's buffer must have room for every entry of a level. */
BSP_API void *cmd_promt(char *buffer, void *cmd, char *cmdword);
BSP_API void _searchchildcmds(char *buf, cmdtab_t *cmd);
BSP_API int ui_build_time(void);

BSP_API char *lib_strdup(char *str);
BSP_API unsigned long long lib_xtoq(const char *dest);
BSP_API int lib_xtoi(const char *dest);
BSP_API int lib_atoi(const char *dest);
BSP_API int lib_strstr_ncase(char *str1, char *str2);
BSP_API unsigned int lib_strtoip(char *str);
BSP_API int alldigital(char *str);
BSP_API int is_white_space(ui_token_t *t);

BSP_API void q_enqueue(queue_t *qb, queue_t *item);
BSP_API void q_dequeue(queue_t *item);
BSP_API queue_t *q_deqnext(queue_t *qb);

/* ---- print buffer and memory dump ---- */

#define XPRINT_BUFFER_SIZE 4096
#define XPRINT_EXTRACT_CHUNK 1024

typedef void (*printhook)(const char *text);

typedef struct t_print_s {
  char *fillpointer;
  char *extractpointer;
  printhook xprinthook;
  char buffer[XPRINT_BUFFER_SIZE + 1];
  char convertbuf[XPRINT_BUFFER_SIZE + 1];
} t_print;

BSP_API extern t_print pp;
BSP_API extern printhook default_printf;

BSP_API int DRV_Printf(const char *templat, ...) __attribute__((format(printf, 1, 2)));
BSP_API void xprinthookinit(void *pprint);
BSP_API t_print *xprintBufferMngGet(void);
BSP_API int xprintbufferisempty(void);
BSP_API int xprintbuffersizeget(void);
BSP_API char *xprintbufextract(int *extracelen);
BSP_API void xprintbufclear(void);
BSP_API void xprintbufprint(void);

/* flag bits */
#define DUMP_FLAG_ASCII 0x2
#define DUMP_FLAG_WORD 0x4
BSP_API void DRV_DumpMemory(void *address, unsigned long length, unsigned long flag, const char *description, ...)
    __attribute__((format(printf, 4, 5)));

/* ---- board debug commands ---- */

BSP_API extern cmdline_t g_stBspCmd_Var[10];
BSP_API extern const char *g_pFileNmeList[7];

BSP_API unsigned long BSPCMD_Init(void);
BSP_API unsigned long test_vfswrite(unsigned long PieceNameId, unsigned long ulOffset, unsigned long uldata,
                                    unsigned long ulLen);
BSP_API unsigned long test_vfsread(unsigned long PieceNameId, unsigned long ulOffset, unsigned long uldata,
                                   unsigned long ulLen);
BSP_API unsigned long test_watchdog_enable(unsigned long enable);
BSP_API unsigned long test_watchdog_close(unsigned long close);
BSP_API unsigned long BSPCMD_ShowFileInfo(unsigned long ulFileId);
BSP_API unsigned long BSPCMD_PrintVersion(void);
BSP_API unsigned long BSPCMD_SoftInt_Trigger(unsigned long u32IntId, unsigned long u32CoreId);
BSP_API unsigned long BSPCMD_Show_LoadState(void);
BSP_API unsigned long BSPCMD_Init_LoadState(void);

BSP_API unsigned long BSPCMD_PrintFile(signed char *pFileName);
BSP_API unsigned int BSPCMD_Parse(unsigned char *pDest, unsigned char *pSrc, unsigned int u32DestLen,
                                  unsigned int u32SrcLen);
BSP_API unsigned long BSP_DbgNPrintf(unsigned char *pBuf, unsigned int u32Len);

BSP_END_DECLS

#endif
