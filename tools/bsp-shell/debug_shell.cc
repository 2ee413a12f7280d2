#include "debug_shell.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

namespace bsp::host {
namespace {

constexpr char kPrompt[] = "bsp> ";
constexpr size_t kListing = 16384;  // room for every entry of one level
constexpr size_t kHistory = 100;
constexpr int kCapture = 4096;  // the library's linear capture

// The host shows captured text itself, after the line, so the hook prints nothing.
void quiet_hook(const char *) {}

template <typename Fn>
bool lookup(void *lib, const char *name, Fn &fn) {
  fn = reinterpret_cast<Fn>(dlsym(lib, name));
  return fn != nullptr;
}

void write_all(int fd, const char *p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w <= 0) return;
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void write_str(const std::string &s) { write_all(STDOUT_FILENO, s.data(), s.size()); }

bool is_number(const std::string &w) {
  if (w.size() >= 2 && w[0] == '0' && w[1] == 'x') {
    return std::all_of(w.begin() + 2, w.end(), [](char c) { return isxdigit(static_cast<unsigned char>(c)); });
  }
  return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> split_words(const std::string &s) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) words.push_back(s.substr(i, j - i));
    i = j;
  }
  return words;
}

// " a | b |" -> {"a", "b"}
std::vector<std::string> parse_listing(const char *listing) {
  std::vector<std::string> entries;
  std::string s(listing);
  size_t start = 0;
  for (size_t bar; (bar = s.find('|', start)) != std::string::npos; start = bar + 1) {
    std::string e = s.substr(start, bar - start);
    e.erase(0, e.find_first_not_of(' '));
    e.erase(e.find_last_not_of(' ') + 1);
    if (!e.empty()) entries.push_back(e);
  }
  return entries;
}

std::string common_prefix(const std::vector<std::string> &words) {
  if (words.empty()) return {};
  std::string p = words[0];
  for (const auto &w : words) {
    size_t n = 0;
    while (n < p.size() && n < w.size() && p[n] == w[n]) ++n;
    p.resize(n);
  }
  return p;
}

// Raw terminal input while a line is edited; the terminal is restored for each command.
class RawMode {
 public:
  RawMode() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSADRAIN, &raw) == 0;
  }
  ~RawMode() {
    if (active_) tcsetattr(STDIN_FILENO, TCSADRAIN, &saved_);
  }
  RawMode(const RawMode &) = delete;
  RawMode &operator=(const RawMode &) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

enum class Edit { Line, End };

class LineEditor {
 public:
  explicit LineEditor(const ShellApi &api) : api_(api) {}

  Edit read(std::string &out) {
    RawMode raw;
    line_.clear();
    cursor_ = 0;
    browse_ = history_.size();
    redraw();
    for (;;) {
      int c = next();
      if (c < 0) return Edit::End;
      switch (c) {
        case '\r':
        case '\n':
          write_str("\r\n");
          out = line_;
          remember(line_);
          return Edit::Line;
        case 4:  // Ctrl-D
          if (line_.empty()) {
            write_str("\r\n");
            return Edit::End;
          }
          erase_at(cursor_);
          break;
        case 3:  // Ctrl-C drops the line
          write_str("^C\r\n");
          line_.clear();
          cursor_ = 0;
          break;
        case 1: cursor_ = 0; break;               // Ctrl-A
        case 5: cursor_ = line_.size(); break;    // Ctrl-E
        case 2: if (cursor_ > 0) --cursor_; break;  // Ctrl-B
        case 6: if (cursor_ < line_.size()) ++cursor_; break;  // Ctrl-F
        case 11: line_.erase(cursor_); break;     // Ctrl-K
        case 21:                                  // Ctrl-U
          line_.erase(0, cursor_);
          cursor_ = 0;
          break;
        case 16: history_step(-1); break;  // Ctrl-P
        case 14: history_step(+1); break;  // Ctrl-N
        case 127:
        case 8:
          if (cursor_ > 0) erase_at(--cursor_);
          break;
        case '\t': complete_word(); break;
        case 27: escape(); break;
        default:
          if (c >= 32 && c < 127) line_.insert(cursor_++, 1, static_cast<char>(c));
          break;
      }
      redraw();
    }
  }

 private:
  static int next() {
    unsigned char c;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    return n == 1 ? c : -1;
  }

  void escape() {
    int a = next();
    if (a != '[' && a != 'O') return;
    int b = next();
    if (b >= '0' && b <= '9') {
      int tilde = next();
      if (tilde != '~') return;
      if (b == '1' || b == '7') cursor_ = 0;
      if (b == '4' || b == '8') cursor_ = line_.size();
      if (b == '3') erase_at(cursor_);
      return;
    }
    switch (b) {
      case 'A': history_step(-1); break;
      case 'B': history_step(+1); break;
      case 'C': if (cursor_ < line_.size()) ++cursor_; break;
      case 'D': if (cursor_ > 0) --cursor_; break;
      case 'H': cursor_ = 0; break;
      case 'F': cursor_ = line_.size(); break;
      default: break;
    }
  }

  void erase_at(size_t pos) {
    if (pos < line_.size()) line_.erase(pos, 1);
  }

  void history_step(int dir) {
    if (history_.empty()) return;
    if (dir < 0 && browse_ > 0) --browse_;
    else if (dir > 0 && browse_ < history_.size()) ++browse_;
    else return;
    line_ = browse_ < history_.size() ? history_[browse_] : std::string();
    cursor_ = line_.size();
  }

  void remember(const std::string &line) {
    if (split_words(line).empty()) return;
    if (!history_.empty() && history_.back() == line) return;
    history_.push_back(line);
    if (history_.size() > kHistory) history_.pop_front();
  }

  void complete_word() {
    std::string before = line_.substr(0, cursor_);
    std::vector<std::string> found = complete(api_, before);
    if (found.empty()) return;
    size_t start = before.find_last_of(" \t");
    std::string partial = start == std::string::npos ? before : before.substr(start + 1);
    std::string prefix = common_prefix(found);
    std::string add = prefix.substr(std::min(partial.size(), prefix.size()));
    if (found.size() == 1) add += ' ';
    if (!add.empty()) {
      line_.insert(cursor_, add);
      cursor_ += add.size();
      return;
    }
    std::string list = "\r\n";
    for (const auto &w : found) list += w + "  ";
    write_str(list + "\r\n");
  }

  void redraw() {
    std::string s = "\r";
    s += kPrompt;
    s += line_;
    s += "\x1b[K";
    if (cursor_ < line_.size()) s += "\x1b[" + std::to_string(line_.size() - cursor_) + "D";
    write_str(s);
  }

  const ShellApi &api_;
  std::string line_;
  size_t cursor_ = 0;
  std::deque<std::string> history_;
  size_t browse_ = 0;
};

bool is_exit(const std::string &line) {
  auto words = split_words(line);
  return words.size() == 1 && (words[0] == "exit" || words[0] == "quit");
}

}  // namespace

bool load_shell_api(void *lib, ShellApi &api) {
  bool ok = lookup(lib, "ui_docommands", api.docommands) && lookup(lib, "xprintbufextract", api.extract) &&
            lookup(lib, "xprintbufclear", api.clear) && lookup(lib, "xprintbuffersizeget", api.size) && lookup(lib, "xprinthookinit", api.hookinit) &&
            lookup(lib, "cmd_promt", api.promt);
  if (ok) api.hookinit(reinterpret_cast<void *>(quiet_hook));
  return ok;
}

int run_line(const ShellApi &api, const std::string &line) {
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  api.clear();
  int rc = api.docommands(buf.data());
  fflush(stdout);
  bool full = api.size() >= kCapture;
  int len = 0;
  while (char *chunk = api.extract(&len)) {
    if (len <= 0) break;
    fwrite(chunk, 1, static_cast<size_t>(len), stdout);
  }
  fflush(stdout);
  if (full) fprintf(stderr, "\nbsp-shell: the print buffer is full; the rest of this line's output was not captured\n");
  api.clear();
  return rc;
}

int run_lines(const ShellApi &api, const std::vector<std::string> &lines) {
  int status = 0;
  for (const auto &line : lines) {
    int rc = run_line(api, line);
    if (rc != 0) status = (rc & 0xFF) != 0 ? (rc & 0xFF) : 1;
  }
  return status;
}

std::vector<std::string> complete(const ShellApi &api, const std::string &line) {
  std::vector<std::string> words = split_words(line);
  std::string partial;
  if (!line.empty() && line.back() != ' ' && line.back() != '\t' && !words.empty()) {
    partial = words.back();
    words.pop_back();
  }
  words.erase(std::remove_if(words.begin(), words.end(), is_number), words.end());
  // "help" takes command words after it.
  if (!words.empty() && words[0] == "help") words.erase(words.begin());

  std::vector<char> listing(kListing, '\0');
  api.promt(listing.data(), nullptr, nullptr);
  void *level = nullptr;
  for (auto &w : words) {
    std::vector<char> below(kListing, '\0');
    level = api.promt(below.data(), level, w.data());
    if (below[0] == '\0') return {};
    listing.swap(below);
  }
  std::vector<std::string> found;
  for (auto &entry : parse_listing(listing.data())) {
    if (entry.compare(0, partial.size(), partial) == 0) found.push_back(entry);
  }
  return found;
}

int run_interactive(const ShellApi &api) {
  int status = 0;
  if (isatty(STDIN_FILENO)) {
    LineEditor editor(api);
    std::string line;
    while (editor.read(line) == Edit::Line && !is_exit(line)) run_line(api, line);
    return 0;
  }
  char *raw = nullptr;
  size_t cap = 0;
  ssize_t n;
  while ((n = getline(&raw, &cap, stdin)) >= 0) {
    std::string line(raw, static_cast<size_t>(n));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (is_exit(line)) break;
    int rc = run_line(api, line);
    if (rc != 0) status = (rc & 0xFF) != 0 ? (rc & 0xFF) : 1;
  }
  free(raw);
  return status;
}

}  // namespace bsp::host
