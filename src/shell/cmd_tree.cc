// The command tree: registration, the shell's start, lookup and running a line.
#include <bsp/boundc.h>
#include <bsp/seclog.h>
#include <bsp/shell.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "shell/cmd_internal.h"
#include "shell/judge.h"

namespace {

constexpr char kSourceFile[] = "cmd_tree.cc";

using bsp::shell::handler;

char *text(const char *s) { return const_cast<char *>(s); }

char kHelpUsage[] =
    "help [command]\r\n\r\nWithout any parameters, the 'help' command will display a summary\r\nof available "
    "commands.  For more details on a command, type 'help'\r\nand the command name.";

cmdline_t g_version_cmd[] = {
    {text("display command version"), handler<ui_build_time>, text("cmd module build time"), text("[argcnt=0]")},
};

cmdline_t g_seclog_cmds[] = {
    {text("display boundc log"), handler<Display_SecLog>, text("boundc log, max is 32"), text("[argcnt=0]")},
    {text("clear boundc log"), handler<Clear_SecLog>, text("clear boundc log"), text("[argcnt=0]")},
    {text("test boundc log"), handler<Test_Boundc>, text("test boundc log"), text("[argcnt=0]")},
    {text("test boundc judge"), handler<Test_SecJudge>, text("test boundc judge"), text("[argcnt=0]")},
};

cmdtab_t *new_node(const char *word) {
  size_t len = strlen(word);
  size_t size = sizeof(cmdtab_t) + len + 1;
  auto *node = static_cast<cmdtab_t *>(malloc(size));
  if (node == nullptr) return nullptr;
  SHELL_JUDGE(memset_s(node, size, 0, size), "memset_s");
  node->argcnt = CMD_ARGCNT_ANY;
  node->cmdword = reinterpret_cast<char *>(node + 1);
  SHELL_JUDGE(strcpy_s(node->cmdword, len + 1, word), "strcpy_s");
  return node;
}

bool is_help_prefix(const char *word) { return strncmp(word, "help", strlen(word)) == 0; }

int lookup(queue_t *head, ui_cmdline_t *cmd) {
  switch (bsp::shell::build_cmdline(head, cmd)) {
    case bsp::shell::BuildResult::Ok:
      break;
    case bsp::shell::BuildResult::NoMemory:
      DRV_Printf("\r\n  Error: Not enough memory for the command line\r\n\r\n");
      return -1;
    case bsp::shell::BuildResult::QuotedRefused:
      DRV_Printf("\r\n  Error: Quoted strings are not supported\r\n\r\n");
      return -1;
  }
  if (cmd->argc == 0) return -3;

  cmdtab_t *level = cmd_root;
  cmdtab_t *node = nullptr;
  int idx = 0;
  for (;;) {
    node = bsp::shell::find_word(level, cmd->argv[idx]);
    if (node == nullptr || node->func != nullptr) break;
    level = node->child;
    if (++idx >= cmd->argc) break;
  }
  cmd->argidx = idx;
  if (node == nullptr) {
    DRV_Printf("\r\n  Error: Unrecognized command: \"%s\"\r\n\r\n", cmd->argv[idx]);
    bsp::shell::show_possible(level);
    DRV_Printf("\r\n");
    return -1;
  }
  if (node->func == nullptr) {
    DRV_Printf("\r\n  Error: Incomplete command\r\n\r\n");
    bsp::shell::show_possible(node->child);
    DRV_Printf("\r\n");
    return -2;
  }
  if (node->argcnt != CMD_ARGCNT_ANY) {
    if (cmd->fargc < node->argcnt) {
      DRV_Printf("\r\n  Error: Incomplete parameters\r\n\r\n");
      return -2;
    }
    if (cmd->fargc > node->argcnt) {
      DRV_Printf("\r\n  Error: Too many parameters\r\n\r\n");
      return -2;
    }
  }
  cmd->argidx = idx + 1;
  if (cmd->argidx < cmd->argc && !is_help_prefix(cmd->argv[0])) {
    DRV_Printf("\r\n  Error: Unrecognized command: \"%s\"\r\n\r\n", cmd->argv[cmd->argidx]);
    return -1;
  }
  cmd->usage = node->usage;
  cmd->func = node->func;
  cmd->argcnt = node->argcnt;
  return 0;
}

int run(ui_cmdline_t &cmd) {
  if (strcmp(cmd.argv[0], "help") == 0) {
    auto help = bsp::shell::function_cast<bsp::shell::helpfunc>(cmd.func);
    return help(&cmd, cmd.argc - cmd.argidx, cmd.argv + cmd.argidx);
  }
  auto arg = [&](int i) { return static_cast<unsigned long>(static_cast<uint32_t>(cmd.fargv[i])); };
  return static_cast<int>(cmd.func(arg(0), arg(1), arg(2), arg(3), arg(4), arg(5)));
}

}  // namespace

namespace bsp::shell {

cmdtab_t *find_word(cmdtab_t *level, const char *word) {
  for (cmdtab_t *n = level; n != nullptr; n = n->sibling) {
    if (strcmp(n->cmdword, word) == 0) return n;
  }
  return nullptr;
}

}  // namespace bsp::shell

extern "C" {

BSP_API cmdtab_t *cmd_root = nullptr;
BSP_API int g_cmdinit = 0;
BSP_API int g_seclogcmdinit = 0;

BSP_API int cmd_regcmd(char *command, cmdpfunc func, char *help, char *usage) {
  queue_t tokens;
  if (command == nullptr || !bsp::shell::build_list(&tokens, command)) return -1;
  cmdtab_t **level = &cmd_root;
  cmdtab_t *node = nullptr;
  bool ok = true;
  while (queue_t *q = q_deqnext(&tokens)) {
    auto *t = reinterpret_cast<ui_token_t *>(q);
    if (ok && !is_white_space(t)) {
      node = bsp::shell::find_word(*level, t->token);
      if (node == nullptr) {
        node = new_node(t->token);
        if (node == nullptr) {
          ok = false;
        } else {
          node->sibling = *level;
          *level = node;
        }
      }
      if (node != nullptr) level = &node->child;
    }
    free(t);
  }
  if (!ok || node == nullptr) return -1;
  node->func = func;
  node->usage = cmd_analyze_usage(usage, &node->argcnt);
  node->help = help;
  return 0;
}

BSP_API int cmd_addcmd(char *command, cmdpfunc func, void *, char *help, char *usage, char *) {
  return cmd_regcmd(command, func, help, usage);
}

BSP_API char *cmd_analyze_usage(char *usage, int *argcnt) {
  if (usage == nullptr || argcnt == nullptr) return usage;
  char *marker = usage;
  while (*marker != '\0' && lib_strstr_ncase(marker, text("argcnt")) == 0) ++marker;
  if (*marker == '\0') {
    *argcnt = CMD_ARGCNT_ANY;
    return usage;
  }
  char *digit = marker;
  while (*digit != '\0' && (*digit < '0' || *digit > '9')) ++digit;
  if (*digit == '\0') {
    *argcnt = CMD_ARGCNT_ANY;
    return usage;
  }
  unsigned count = static_cast<unsigned>(lib_atoi(digit));
  *argcnt = count > CMD_MAX_NUMBERS ? CMD_ARGCNT_ANY : static_cast<int>(count);
  char *bracket = strchr(digit, ']');
  return bracket != nullptr ? bracket + 1 : usage;
}

BSP_API int DRV_RegCmdList(cmdline_t *p_cmdlist, int cnt) {
  if (ui_cmdinit() != 0) {
    DRV_Printf("\r\n command module init fail.\r\n");
    return -1;
  }
  if (seclog_cmdinit() != 0) {
    DRV_Printf("\r\n boundc log module init fail.\r\n");
    return -1;
  }
  if (p_cmdlist == nullptr) {
    DRV_Printf("\r\n command list is NULL.\r\n");
    return -1;
  }
  // Backwards, so that each level lists a table's words in table order.
  for (int i = cnt - 1; i >= 0; --i) {
    const cmdline_t &row = p_cmdlist[i];
    if (cmd_regcmd(row.command, row.func, row.help, row.usage) != 0) return -1;
  }
  return 0;
}

BSP_API int seclog_cmdinit(void) {
  if (g_seclogcmdinit != 0) return 0;
  g_seclogcmdinit = 1;
  DRV_RegCmdList(g_seclog_cmds, sizeof g_seclog_cmds / sizeof g_seclog_cmds[0]);
  return 0;
}

BSP_API void cmd_init(void) {
  cmd_root = nullptr;
  cmd_addcmd(text("help"), bsp::shell::function_cast<cmdpfunc>(cmd_help), nullptr, text("Obtain help for driver commands"),
             kHelpUsage, nullptr);
}

BSP_API int ui_init_cmddisp(void) {
  cmd_init();
  return 0;
}

BSP_API int ui_cmdinit(void) {
  if (g_cmdinit != 0) return 0;
  g_cmdinit = 1;
  xprinthookinit(reinterpret_cast<void *>(bsp::shell::stdout_writer));
  ui_init_cmddisp();
  DRV_RegCmdList(g_version_cmd, 1);
  return 0;
}

BSP_API int ui_build_time(void) {
  DRV_Printf(
      "\r\n ******************************************               \r\n **   ui build at %s %s   **        "
      "       \r\n ******************************************               \r\n ",
      __DATE__, __TIME__);
  return 0;
}

BSP_API int cmd_lookup(queue_t *head, ui_cmdline_t *cmd) { return lookup(head, cmd); }

BSP_API int ui_docommands(char *str) {
  if (cmd_checkinput(str) != 0) return 0;
  queue_t tokens;
  if (!bsp::shell::build_list(&tokens, str)) {
    DRV_Printf("\r\n  Error: Not enough memory for the command line\r\n\r\n");
    return -1;
  }
  ui_cmdline_t cmd;
  int rc = lookup(&tokens, &cmd);
  if (rc == 0) rc = run(cmd);
  cmd_free(&cmd);
  cmd_free_tokens(&tokens);
  return rc;
}

}  // extern "C"
