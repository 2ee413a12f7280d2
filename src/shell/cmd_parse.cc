// Command line parsing: list primitives, the character check, the tokeniser, number
// conversion and the split of tokens into words and numbers.
#include <bsp/boundc.h>
#include <bsp/shell.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "shell/cmd_internal.h"
#include "shell/judge.h"

namespace {

constexpr char kSourceFile[] = "cmd_parse.cc";
constexpr char kAllowed[] = " \t\n0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_break(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_decimal(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool has_hex_prefix(const char *s) { return s[0] == '0' && s[1] == 'x'; }

void list_init(queue_t *qb) { qb->q_next = qb->q_prev = qb; }

ui_token_t *as_token(queue_t *q) { return reinterpret_cast<ui_token_t *>(q); }

bool append_token(queue_t *qb, const char *text, size_t len) {
  auto *t = static_cast<ui_token_t *>(malloc(offsetof(ui_token_t, token) + len + 1));
  if (t == nullptr) return false;
  if (len > 0) SHELL_JUDGE(memcpy_s(t->token, len + 1, text, len), "memcpy_s");
  t->token[len] = '\0';
  q_enqueue(qb, &t->qb);
  return true;
}

// Turns the first \r\n, \r or \n of a quoted text into control characters and cuts it there.
void unescape_first(char *text) {
  for (char *p = text; *p != '\0'; ++p) {
    if (p[0] != '\\' || (p[1] != 'r' && p[1] != 'n')) continue;
    if (p[1] == 'r' && p[2] == '\\' && p[3] == 'n') {
      p[0] = '\r';
      p[1] = '\n';
      p[2] = '\0';
    } else {
      p[0] = p[1] == 'r' ? '\r' : '\n';
      p[1] = '\0';
    }
    return;
  }
}

// A quoted string travels as a number holding its address, where an address fits in one.
bool append_quoted(queue_t *qb, char *text) {
  if constexpr (sizeof(void *) > sizeof(uint32_t)) {
    return append_token(qb, bsp::shell::kRefusedQuote, strlen(bsp::shell::kRefusedQuote));
  } else {
    char number[16];
    int n = sprintf_s(number, sizeof number, "0x%x",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(text)));
    SHELL_JUDGE(n, "sprintf_s");
    return append_token(qb, number, n > 0 ? static_cast<size_t>(n) : 0);
  }
}

int32_t number_of(const char *token) {
  if (has_hex_prefix(token)) {
    if (strlen(token + 2) <= 8) return lib_xtoi(token);
    return static_cast<int32_t>(static_cast<uint32_t>(lib_xtoq(token)));
  }
  return lib_atoi(token);
}

}  // namespace

namespace bsp::shell {

bool build_list(queue_t *qb, char *buf) {
  list_init(qb);
  if (buf == nullptr) return true;
  char *start = buf;
  size_t i = 0;
  bool ok = true;
  while (ok && buf[i] != '\0') {
    char c = buf[i];
    if (is_blank(c) && i > 0 && is_blank(buf[i - 1])) {
      ++i;
      continue;
    }
    if (c == '"') {
      char *text = buf + i + 1;
      char *close = strchr(text, '"');
      if (close != nullptr) {
        *close = '\0';
        unescape_first(text);
      }
      ok = append_quoted(qb, text);
      if (close == nullptr) {
        start = buf + i + 1;
        ++i;
        continue;
      }
      // The character after the closing quote starts the next token unexamined.
      size_t next = static_cast<size_t>(close - buf) + 1;
      start = buf + next;
      if (buf[next] == '\0') break;
      i = next + 1;
      continue;
    }
    if ((is_break(c) && i > 0) || (i > 0 && is_break(buf[i - 1]))) {
      ok = append_token(qb, start, static_cast<size_t>(buf + i - start));
      start = buf + i;
    }
    ++i;
  }
  if (ok && *start != '\0') ok = append_token(qb, start, strlen(start));
  if (!ok) cmd_free_tokens(qb);
  return ok;
}

BuildResult build_cmdline(queue_t *head, ui_cmdline_t *cmd) {
  memset_s(cmd, sizeof *cmd, 0, sizeof *cmd);
  BuildResult result = BuildResult::Ok;
  while (queue_t *q = q_deqnext(head)) {
    ui_token_t *t = as_token(q);
    if (result == BuildResult::Ok && !is_white_space(t)) {
      if (alldigital(t->token)) {
        if (cmd->fargc < CMD_MAX_NUMBERS) cmd->fargv[cmd->fargc++] = number_of(t->token);
      } else if (strcmp(t->token, kRefusedQuote) == 0) {
        result = BuildResult::QuotedRefused;
      } else if (cmd->argc < CMD_MAX_WORDS) {
        char *word = lib_strdup(t->token);
        if (word == nullptr) {
          result = BuildResult::NoMemory;
        } else {
          cmd->argv[cmd->argc++] = word;
        }
      }
    }
    free(t);
  }
  if (result != BuildResult::Ok) {
    cmd_free(cmd);
    cmd->fargc = 0;
  }
  return result;
}

}  // namespace bsp::shell

extern "C" {

BSP_API void q_enqueue(queue_t *qb, queue_t *item) {
  item->q_next = qb;
  item->q_prev = qb->q_prev;
  qb->q_prev->q_next = item;
  qb->q_prev = item;
}

BSP_API void q_dequeue(queue_t *item) {
  item->q_prev->q_next = item->q_next;
  item->q_next->q_prev = item->q_prev;
}

BSP_API queue_t *q_deqnext(queue_t *qb) {
  if (qb->q_next == qb) return nullptr;
  queue_t *item = qb->q_next;
  q_dequeue(item);
  return item;
}

BSP_API int cmd_checkinput(char *str) {
  if (str == nullptr || *str == '\0') return -1;
  for (char *p = str; *p != '\0'; ++p) {
    if (strchr(kAllowed, *p) != nullptr) continue;
    char refused = *p;
    *p = '\0';
    DRV_Printf("\r\n  Error: Unrecognized command: \"%s%c\"\r\n\r\n", str, refused);
    return -1;
  }
  return 0;
}

BSP_API void cmd_build_list(queue_t *qb, char *buf) { bsp::shell::build_list(qb, buf); }

BSP_API void cmd_build_cmdline(queue_t *head, ui_cmdline_t *cmd) { bsp::shell::build_cmdline(head, cmd); }

BSP_API void cmd_free(ui_cmdline_t *cmd) {
  for (int i = 0; i < cmd->argc && i < CMD_MAX_WORDS; ++i) {
    free(cmd->argv[i]);
    cmd->argv[i] = nullptr;
  }
  cmd->argc = 0;
}

BSP_API void cmd_free_tokens(queue_t *list) {
  while (queue_t *q = q_deqnext(list)) free(q);
}

BSP_API void cmd_eat_leading_white(queue_t *head) {
  while (head->q_next != head && is_white_space(as_token(head->q_next))) free(q_deqnext(head));
}

BSP_API void dumplist(queue_t *qb) {
  for (queue_t *q = qb->q_next; q != qb; q = q->q_next) DRV_Printf("[%s] ", as_token(q)->token);
  DRV_Printf("\n");
}

BSP_API int is_white_space(ui_token_t *t) {
  if (t == nullptr) return 0;
  return t->token[0] == '\0' || is_blank(t->token[0]) ? 1 : 0;
}

BSP_API int alldigital(char *str) {
  if (str == nullptr) return 0;
  if (has_hex_prefix(str)) {
    for (const char *p = str + 2; *p != '\0'; ++p) {
      if (hex_value(*p) < 0) return 0;
    }
    return 1;
  }
  if (*str == '\0') return 0;
  for (const char *p = str; *p != '\0'; ++p) {
    if (!is_decimal(*p)) return 0;
  }
  return 1;
}

BSP_API char *lib_strdup(char *str) {
  if (str == nullptr) return nullptr;
  size_t n = strlen(str) + 1;
  auto *copy = static_cast<char *>(malloc(n));
  if (copy == nullptr) return nullptr;
  SHELL_JUDGE(memcpy_s(copy, n, str, n), "memcpy_s");
  return copy;
}

BSP_API unsigned long long lib_xtoq(const char *dest) {
  if (dest == nullptr) return 0;
  if (has_hex_prefix(dest)) dest += 2;
  unsigned long long v = 0;
  for (int d; (d = hex_value(*dest)) >= 0; ++dest) v = (v << 4) | static_cast<unsigned>(d);
  return v;
}

BSP_API int lib_xtoi(const char *dest) { return static_cast<int>(static_cast<uint32_t>(lib_xtoq(dest))); }

BSP_API int lib_atoi(const char *dest) {
  if (dest == nullptr) return 0;
  if (has_hex_prefix(dest)) return lib_xtoi(dest);
  uint32_t v = 0;
  for (; is_decimal(*dest); ++dest) v = v * 10 + static_cast<uint32_t>(*dest - '0');
  return static_cast<int>(v);
}

// A match answers the index in str1 just after it. An empty str2 begins every string, but
// the index after it, 0, would read as no match: it answers 1.
BSP_API int lib_strstr_ncase(char *str1, char *str2) {
  if (str1 == nullptr || str2 == nullptr) return 0;
  size_t n = strlen(str2);
  if (strncasecmp(str1, str2, n) != 0) return 0;
  return n == 0 ? 1 : static_cast<int>(n);
}

BSP_API unsigned int lib_strtoip(char *str) {
  if (str == nullptr) return 0;
  char *dots[3];
  char *p = str;
  for (char *&dot : dots) {
    dot = strchr(p, '.');
    if (dot == nullptr) return 0;
    p = dot + 1;
  }
  for (char *dot : dots) *dot = '\0';
  const char *parts[4] = {str, dots[0] + 1, dots[1] + 1, dots[2] + 1};
  unsigned int ip = 0;
  for (const char *part : parts) ip = (ip << 8) | (static_cast<unsigned>(lib_atoi(part)) & 0xFFu);
  return ip;
}

}  // extern "C"
