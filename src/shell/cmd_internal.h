// What the parser, the tree and the board commands share inside the library.
#pragma once

#include <bsp/shell.h>

#include <type_traits>

namespace bsp::shell {

// Stands for a quoted string where an address does not fit in a 32-bit number. The
// character check never lets a double quote through, so no operator word can equal it.
inline constexpr char kRefusedQuote[] = "\"";

// Tokenises buf into qb; false (and an empty list) when a token could not be allocated.
bool build_list(queue_t *qb, char *buf);

enum class BuildResult { Ok, NoMemory, QuotedRefused };
// Fills cmd from the tokens of head, consuming them; on failure cmd holds nothing.
BuildResult build_cmdline(queue_t *head, ui_cmdline_t *cmd);

// The node of the level starting at level whose word is word, or null.
cmdtab_t *find_word(cmdtab_t *level, const char *word);
// The candidate list of a level, as shown by a failed lookup.
void show_possible(cmdtab_t *level);

void stdout_writer(const char *text);

// Help form of a handler (the "help" command).
using helpfunc = int (*)(ui_cmdline_t *, int, char **);

// Handlers of both forms share one slot; a function is only ever called in its own form.
template <typename To, typename From>
To function_cast(From f) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)()>(f));
}

// Lets a function of any arity up to six (and any result) be called as a six-number handler.
template <auto F>
unsigned long handler(unsigned long a, unsigned long b, unsigned long c, unsigned long d, unsigned long e,
                      unsigned long f) {
  using Fn = decltype(F);
  auto call = [&]() -> decltype(auto) {
    using U = unsigned long;
    if constexpr (std::is_invocable_v<Fn>) return F();
    else if constexpr (std::is_invocable_v<Fn, U>) return F(a);
    else if constexpr (std::is_invocable_v<Fn, U, U>) return F(a, b);
    else if constexpr (std::is_invocable_v<Fn, U, U, U>) return F(a, b, c);
    else if constexpr (std::is_invocable_v<Fn, U, U, U, U>) return F(a, b, c, d);
    else if constexpr (std::is_invocable_v<Fn, U, U, U, U, U>) return F(a, b, c, d, e);
    else return F(a, b, c, d, e, f);
  };
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    return 0;
  } else {
    return static_cast<unsigned long>(call());
  }
}

}  // namespace bsp::shell
