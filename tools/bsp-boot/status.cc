// status: what runs, what boots next, and why.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "boot.h"
#include "common/json.h"
#include "common/loadstate_view.h"
#include "common/text.h"
#include "host.h"
#include "loader/boot_rules.h"
#include "loader/loader.h"
#include "loader/package.h"
#include "loader/paths.h"
#include "os/le_bytes.h"
#include "os/unique_fd.h"
#include "storage/bootmem_layout.h"

namespace bsp::boot {
namespace {

namespace bm = bsp::bootmem;
using bsp::UniqueFd;

constexpr char kGrubConfig[] = "/boot/grub/grub.cfg";
constexpr char kAppMount[] = "/mnt/squash";
constexpr const char *kImages[] = {"bzImage", "rootfs.gz"};

struct ImageFile {
  const char *name = "";
  bool image = false;  // the image is a regular file
  bool efs = false;    // its .efs file is
  std::optional<uint16_t> code_crc;  // from a readable .efs file
};

struct SubareaState {
  char letter = 'A';
  std::string dir;
  ImageFile files[2];
  bool complete() const {
    for (const ImageFile &f : files) {
      if (!f.image || !f.code_crc) return false;
    }
    return true;
  }
};

struct Mount {
  bool mounted = false;
  std::string fstype, source;
};

struct Status {
  std::optional<char> running, next;
  std::string cmdline;
  SubareaState subareas[2];
  tools::LoadStateView load_state;
  std::optional<uint32_t> attempts, search_index;
  Mount app;
};

bool regular(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The running subarea by the loader's own rule, and the command line as it reads.
void read_running(Status &s) {
  char buffer[loader::kPathSize] = {0};
  if (Boot_GetCurrentSubareaPath(loader::kCmdlinePath, buffer) == 0) {
    s.running = loader::names_subarea_a(buffer) ? 'A' : 'B';
  }
  take_reader_error();
  UniqueFd fd(open(loader::kCmdlinePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  char text[512] = {0};
  ssize_t n = fd.valid() ? read(fd.get(), text, sizeof text - 1) : -1;
  if (n > 0) s.cmdline.assign(text, strcspn(text, "\n"));
}

std::optional<char> subarea_named(const std::string &text) {
  const bool a = text.find("boot_A") != std::string::npos, b = text.find("boot_B") != std::string::npos;
  if (a == b) return std::nullopt;
  return a ? 'A' : 'B';
}

// The subarea GRUB boots next: the one the first kernel line names (the loader's switch
// replaces every mention in the file), else the only one the file mentions.
std::optional<char> read_next() {
  FILE *f = fopen(kGrubConfig, "re");
  if (f == nullptr) return std::nullopt;
  std::string all;
  std::optional<char> first_kernel;
  bool seen_kernel = false;
  char line[1024];
  while (fgets(line, sizeof line, f) != nullptr) {
    all += line;
    char word[32] = {0}, path[512] = {0};
    if (!seen_kernel && sscanf(line, " %31s %511s", word, path) == 2 && strncmp(word, "linux", 5) == 0) {
      seen_kernel = true;
      first_kernel = subarea_named(path);
    }
  }
  fclose(f);
  return first_kernel ? first_kernel : subarea_named(all);
}

void read_subarea(SubareaState &sub, char letter) {
  sub.letter = letter;
  sub.dir = letter == 'A' ? loader::kSubareaA : loader::kSubareaB;
  for (size_t i = 0; i < 2; ++i) {
    ImageFile &f = sub.files[i];
    f.name = kImages[i];
    const std::string image = sub.dir + f.name, efs = image + ".efs";
    f.image = regular(image);
    f.efs = regular(efs);
    uint8_t block[loader::kEfsSize];
    if (f.efs && Bootload_GetFileEfsInfo(efs.c_str(), block) == 0) f.code_crc = loader::efs_code_crc(block);
    take_reader_error();
  }
}

// The loader's two counters, read where it keeps them; none when the file lacks them.
void read_counters(Status &s) {
  UniqueFd fd(open(bm::kPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return;
  uint8_t count[2], index[4];
  if (pread(fd.get(), count, sizeof count, bm::kLoadFailCountOffset) == sizeof count) s.attempts = load_le16(count);
  if (pread(fd.get(), index, sizeof index, bm::kSearchIndexOffset) == sizeof index) s.search_index = load_le32(index);
}

// A mount point as /proc/self/mountinfo writes it (blanks and the like as octal escapes).
std::string unescape(const char *field) {
  std::string out;
  for (const char *p = field; *p != '\0'; ++p) {
    if (p[0] == '\\' && p[1] >= '0' && p[1] <= '3' && p[2] >= '0' && p[2] <= '7' && p[3] >= '0' && p[3] <= '7') {
      out += static_cast<char>((p[1] - '0') * 64 + (p[2] - '0') * 8 + (p[3] - '0'));
      p += 3;
    } else {
      out += *p;
    }
  }
  return out;
}

// The mount on top at the application's mount point, if any.
Mount read_mount() {
  Mount m;
  FILE *f = fopen("/proc/self/mountinfo", "re");
  if (f == nullptr) return m;
  char line[4096];
  while (fgets(line, sizeof line, f) != nullptr) {
    std::vector<std::string> fields;
    for (char *save = nullptr, *t = strtok_r(line, " \n", &save); t != nullptr; t = strtok_r(nullptr, " \n", &save)) {
      fields.emplace_back(t);
    }
    if (fields.size() < 7 || unescape(fields[4].c_str()) != kAppMount) continue;
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    m.mounted = true;
    m.fstype = dash + 1 < fields.size() ? fields[dash + 1] : "";
    m.source = dash + 2 < fields.size() ? unescape(fields[dash + 2].c_str()) : "";
  }
  fclose(f);
  return m;
}

void json_subarea_letter(tools::Json &j, const char *key, const std::optional<char> &s) {
  j.key(key);
  if (s) {
    j.string(std::string(1, *s));
  } else {
    j.null();
  }
}

void json_optional(tools::Json &j, const char *key, const std::optional<uint32_t> &v) {
  j.key(key);
  if (v) {
    j.number(*v);
  } else {
    j.null();
  }
}

void print_json(FILE *out, const Status &s) {
  tools::Json j(out);
  j.begin_object();
  json_subarea_letter(j, "running_subarea", s.running);
  j.field("cmdline", s.cmdline);
  json_subarea_letter(j, "next_subarea", s.next);
  j.key("subareas").begin_array();
  for (const SubareaState &sub : s.subareas) {
    const std::string dir = sub.dir.substr(0, sub.dir.size() - 1);  // without the trailing slash
    j.begin_object().field("name", std::string(1, sub.letter)).field("path", dir).field("complete", sub.complete());
    j.key("images").begin_array();
    for (const ImageFile &f : sub.files) {
      j.begin_object().field("name", f.name).field("present", f.image).field("efs_present", f.efs);
      json_optional(j, "code_crc", f.code_crc ? std::optional<uint32_t>(*f.code_crc) : std::nullopt);
      j.end_object();
    }
    j.end_array().end_object();
  }
  j.end_array();
  j.key("load_state");
  tools::json_load_state(j, s.load_state);
  json_optional(j, "boot_attempts", s.attempts);
  j.field("rollback_threshold", loader::kRollbackAfter + 1);
  json_optional(j, "search_index", s.search_index);
  j.key("application").begin_object().field("mount_point", kAppMount).field("mounted", s.app.mounted);
  if (s.app.mounted) j.field("fstype", s.app.fstype).field("source", s.app.source);
  j.end_object().end_object().finish();
}

std::string file_text(const ImageFile &f) {
  std::string name = f.name;
  if (!f.image && !f.efs) return name + " missing";
  if (!f.image) return name + " missing (its .efs is there)";
  if (!f.efs) return name + " without .efs";
  if (!f.code_crc) return name + " with a short .efs";
  return name + " code CRC " + std::to_string(*f.code_crc);
}

std::string letter_text(const std::optional<char> &s) { return s ? std::string(1, *s) : std::string("unknown"); }

void print_text(FILE *out, const Status &s) {
  fprintf(out, "running subarea: %s (kernel command line); next boot: subarea %s (grub.cfg)\n",
          letter_text(s.running).c_str(), letter_text(s.next).c_str());
  for (const SubareaState &sub : s.subareas) {
    fprintf(out, "subarea %c: %s, %s: %s\n", sub.letter, file_text(sub.files[0]).c_str(),
            file_text(sub.files[1]).c_str(), sub.complete() ? "complete" : "incomplete");
  }
  fputs("startup-file sets:\n", out);
  tools::print_load_state_brief(out, s.load_state);
  const uint32_t threshold = loader::kRollbackAfter + 1;
  if (s.attempts) {
    fprintf(out, "boot attempts: %u (a boot that starts at %u rolls back)", *s.attempts, threshold);
  } else {
    fputs("boot attempts: unknown (no boot parameter memory)", out);
  }
  if (s.search_index) fprintf(out, "; package search index: %u", *s.search_index);
  fputc('\n', out);
  if (s.app.mounted) {
    fprintf(out, "application image: mounted at %s (%s, %s)\n", kAppMount, s.app.fstype.c_str(),
            tools::printable(s.app.source).c_str());
  } else {
    fprintf(out, "application image: not mounted at %s\n", kAppMount);
  }
}

}  // namespace

int run_status(Context &c) {
  Library lib;
  std::string why;
  if (!lib.start(c.library, why)) return fail(c, kFailed, "%s", why.c_str());
  Status s;
  read_running(s);
  s.next = read_next();
  read_subarea(s.subareas[0], 'A');
  read_subarea(s.subareas[1], 'B');
  if (!lib.load_state(s.load_state, why)) return fail(c, kFailed, "%s", why.c_str());
  read_counters(s);
  s.app = read_mount();
  if (c.json) {
    print_json(c.out, s);
  } else {
    print_text(c.out, s);
  }
  return kOk;
}

}  // namespace bsp::boot
