// Listing the tree: the help command, candidate lists of failed lookups, prompt support.
#include <bsp/boundc.h>
#include <bsp/shell.h>
#include <string.h>

#include "shell/cmd_internal.h"
#include "shell/judge.h"

namespace {

constexpr char kSourceFile[] = "cmd_help.cc";
constexpr int kMaxLevels = 20;
constexpr size_t kPromptEntry = 32;

// The formatter shows a missing text as "(null)"; say so here rather than rely on it.
const char *shown(const char *s) { return s != nullptr ? s : "(null)"; }

bool is_group(const cmdtab_t *n) { return n->func == nullptr; }

// Each LF-separated piece on its own line, indented; a trailing empty piece prints nothing.
void dump_indented(const char *str, int amt) {
  if (str == nullptr) return;
  const char *piece = str;
  for (;;) {
    const char *lf = strchr(piece, '\n');
    if (lf == nullptr) {
      if (*piece != '\0') DRV_Printf("%*s%s\r\n", amt, "", piece);
      return;
    }
    DRV_Printf("%*s%.*s\r\n", amt, "", static_cast<int>(lf - piece), piece);
    piece = lf + 1;
  }
}

void append_entry(char *buf, const char *word) {
  SHELL_JUDGE(sprintf_s(buf + strlen(buf), kPromptEntry, " %s |", word), "sprintf_s");
}

}  // namespace

namespace bsp::shell {

void show_possible(cmdtab_t *level) {
  for (cmdtab_t *n = level; n != nullptr; n = n->sibling) {
    if (is_group(n)) {
      DRV_Printf("  %-26s<Group> %s", n->cmdword, shown(n->help));
    } else {
      DRV_Printf("  %-26s%s", n->cmdword, shown(n->help));
    }
    DRV_Printf("\r\n");
  }
}

}  // namespace bsp::shell

extern "C" {

BSP_API void _dumpcmds(cmdtab_t *cmd, int level, char **words, int) {
  for (cmdtab_t *n = cmd; n != nullptr; n = n->sibling) {
    if (words != nullptr && level >= 0 && level < kMaxLevels) words[level] = n->cmdword;
    if (is_group(n)) {
      DRV_Printf("  %-26s<Group> %s\r\n", n->cmdword, shown(n->help));
    } else {
      DRV_Printf("  %-26s%s\r\n", n->cmdword, shown(n->help));
    }
  }
}

BSP_API void dumpcmds(int verbose) {
  char *words[kMaxLevels] = {};
  _dumpcmds(cmd_root, 0, words, verbose);
}

BSP_API int cmd_help(ui_cmdline_t *, int argc, char **argv) {
  if (argc <= 0 || argv == nullptr) {
    dumpcmds(0);
    DRV_Printf("\r\n");
    return 0;
  }
  cmdtab_t *level = cmd_root;
  for (int idx = 0;;) {
    cmdtab_t *node = bsp::shell::find_word(level, argv[idx]);
    if (node == nullptr) {
      DRV_Printf("No help available for '%s'.\r\n\r\n", argv[idx]);
      DRV_Printf("Type 'help' for a list of commands.\r\n");
      return -1;
    }
    if (!is_group(node)) {
      DRV_Printf("\r\n  SUMMARY\r\n\r\n");
      dump_indented(node->help, 5);
      DRV_Printf("\r\n  USAGE\r\n\r\n");
      dump_indented(node->usage, 5);
      DRV_Printf("\r\n");
      return 0;
    }
    level = node->child;
    if (++idx >= argc) {
      char *words[kMaxLevels] = {};
      _dumpcmds(level, 0, words, 0);
      return 0;
    }
  }
}

BSP_API void _searchchildcmds(char *buf, cmdtab_t *cmd) {
  if (buf == nullptr) return;
  for (cmdtab_t *n = cmd; n != nullptr; n = n->sibling) append_entry(buf, n->cmdword);
}

BSP_API void *cmd_promt(char *buffer, void *cmd, char *cmdword) {
  if (cmdword == nullptr) {
    _searchchildcmds(buffer, cmd_root);
    return nullptr;
  }
  cmdtab_t *level = cmd != nullptr ? static_cast<cmdtab_t *>(cmd) : cmd_root;
  cmdtab_t *node = bsp::shell::find_word(level, cmdword);
  if (node == nullptr) return nullptr;
  _searchchildcmds(buffer, node->child);
  return node->child;
}

}  // extern "C"
