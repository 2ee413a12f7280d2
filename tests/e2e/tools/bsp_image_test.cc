// bsp-image end to end, on the sandboxed board: images made by the library in a start-up root
// and by the tool itself, every command's output against the test's own reading of the image,
// the image's bytes after every read command, damaged and hostile images, concurrent writers,
// cuts during a write, and images of the other build (BSP_PEER_BUILD).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "e2e/tools/image_decoding.h"
#include "support/board_fs.h"
#include "support/capture.h"
#include "support/json_value.h"

using namespace image_test;
using bsp::test::JsonValue;
using bsp::test::ProcessResult;

namespace {

const std::string kTool = BSP_IMAGE_TOOL;
const std::string kDir = "/mnt/t";

std::string path(const std::string &name) { return kDir + "/" + name; }

ProcessResult image_tool(const std::string &tool, const std::vector<std::string> &args, const std::string &input = "") {
  std::vector<std::string> argv{tool};
  argv.insert(argv.end(), args.begin(), args.end());
  return bsp::test::run_process(argv, input);
}

ProcessResult tool(const std::vector<std::string> &args, const std::string &input = "") {
  return image_tool(kTool, args, input);
}

JsonValue json_of(const ProcessResult &r) {
  auto v = bsp::test::parse_json(r.out);
  EXPECT_TRUE(v.has_value()) << "not JSON: " << r.out;
  return v.value_or(JsonValue{});
}

std::string one_line(const std::string &err) {
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "not one line: " << err;
  return err;
}

size_t count_of(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ImageTool : public ::testing::Test {
 protected:
  void SetUp() override {
    bsp::test::reset_board();
    ASSERT_EQ(0, bsp::test::sh("mkdir -p " + kDir + " /mnt/misc /mnt/flash"));
  }

  std::string make_image(const std::string &name) {
    ProcessResult r = tool({path(name), "create"});
    EXPECT_EQ(0, r.status) << r.err;
    return path(name);
  }

  // Runs a command that must not change the image, and returns its result.
  ProcessResult read_only(const std::string &image, const std::vector<std::string> &command) {
    const std::string before = bsp::test::read_file(image);
    std::vector<std::string> args{image};
    args.insert(args.end(), command.begin(), command.end());
    ProcessResult r = tool(args);
    EXPECT_TRUE(bsp::test::read_file(image) == before) << "a read command changed the image: " << command[0];
    return r;
  }

  // The library's own image: the main start-up root of the reference host writes piece files
  // and the default load state word, then a relocation moves one file behind the others.
  std::string library_image() {
    ProcessResult r = bsp::test::run_process({bsp::test::bsp_shell_path(), "-c", "bsp pieces write 1 0 0x41 12", "-c",
                                              "bsp pieces write 2 0 0x42 100", "-c", "bsp init load state 0 0", "-c",
                                              "bsp pieces write 1 40 0x43 8"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    // Flash-dynamic files saved by the library in a host process; the rewrite of 5 grows it
    // and moves the two behind it.
    ProcessResult f = bsp::test::run_process({FDY_PROBE, "init", "save", "5", "100", "1", "save", "0x1234", "9000", "1",
                                              "save", "6", "1", "1", "save", "5", "0x3000", "0"});
    EXPECT_EQ(0, f.status) << f.out << f.err;
    EXPECT_EQ(5u, count_of(f.out, "rc=0\n")) << f.out;  // init and four saves
    EXPECT_EQ(0, bsp::test::sh("cp /mnt/misc/flashfile " + path("lib.img")));
    return path("lib.img");
  }
};

// The listing and every file's content against the test's own reading of the area served.
void expect_pieces_match(const std::string &tool_path, const std::string &image, const Area &area) {
  ProcessResult r = image_tool(tool_path, {image, "pieces", "ls", "--json"});
  ASSERT_EQ(0, r.status) << r.err;
  JsonValue files = json_of(r)["files"];
  ASSERT_EQ(area.pieces.size(), files.items.size()) << r.out;
  for (size_t i = 0; i < area.pieces.size(); ++i) {
    EXPECT_EQ(area.pieces[i].name, files[i]["name"].text);
    EXPECT_EQ(area.pieces[i].size, files[i]["size"].u());
    EXPECT_EQ(area.pieces[i].offset, files[i]["offset"].u());
    ProcessResult cat = image_tool(tool_path, {image, "pieces", "cat", area.pieces[i].name});
    EXPECT_EQ(0, cat.status) << cat.err;
    EXPECT_TRUE(cat.out == area.pieces[i].content) << area.pieces[i].name;
  }
}

// fdy ls (text and JSON) and fdy get of every file against the test's own reading of the
// flash-dynamic area; none of them changes the image.
void expect_fdy_matches(const std::string &tool_path, const std::string &image) {
  const std::string bytes = bsp::test::read_file(image);
  const FdyArea area = decode_fdy(bytes);
  ASSERT_TRUE(area.magic_ok);
  ProcessResult r = image_tool(tool_path, {image, "fdy", "ls", "--json"});
  ASSERT_EQ(0, r.status) << r.err;
  JsonValue files = json_of(r)["files"];
  ASSERT_EQ(area.files.size(), files.items.size()) << r.out;
  std::string text;
  for (size_t i = 0; i < area.files.size(); ++i) {
    const FdyFile &f = area.files[i];
    EXPECT_EQ(f.id, files[i]["id"].u());
    EXPECT_EQ(f.offset, files[i]["offset"].u());
    EXPECT_EQ(f.length, files[i]["length"].u());
    EXPECT_EQ(f.allocation, files[i]["allocation"].u());
    char line[128];
    snprintf(line, sizeof line, "%u: offset 0x%x, length %u, allocation 0x%x\n", f.id, f.offset, f.length, f.allocation);
    text += line;
    ProcessResult get = image_tool(tool_path, {image, "fdy", "get", std::to_string(f.id)});
    EXPECT_EQ(0, get.status) << get.err;
    EXPECT_TRUE(get.out == f.content) << "file " << f.id;
  }
  ProcessResult ls = image_tool(tool_path, {image, "fdy"});
  EXPECT_EQ(0, ls.status) << ls.err;
  EXPECT_EQ(text, ls.out);
  EXPECT_TRUE(bsp::test::read_file(image) == bytes) << "an fdy read command changed the image";
}

// The library's start-up on a copy of the image: its output (the flash-dynamic check's
// complaint, when it has one) and the flash emulation file it leaves.
ProcessResult start_library_on(const std::string &image) {
  EXPECT_EQ(0, bsp::test::sh("cp " + image + " /mnt/misc/flashfile"));
  return bsp::test::run_process({bsp::test::bsp_shell_path(), "-c", "bsp show pieces"});
}

// The state command's JSON against the test's own reading of "statemach.efs".
void expect_state_matches(const std::string &tool_path, const std::string &image, const Area &area) {
  const Piece *record = nullptr;
  for (const Piece &p : area.pieces) {
    if (p.name == "statemach.efs") record = &p;
  }
  ProcessResult r = image_tool(tool_path, {image, "state", "--json"});
  JsonValue s = json_of(r);
  if (record == nullptr) {
    EXPECT_EQ(0, r.status);
    EXPECT_FALSE(s["present"].boolean);
    return;
  }
  ASSERT_GE(record->content.size(), 2263u);
  const std::string &w = record->content;
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(s["present"].boolean && s["complete"].boolean);
  EXPECT_EQ(le32(w, 0), s["magic"].u());
  EXPECT_EQ(le16(w, 4), s["checksum"].u());
  const uint8_t selector = static_cast<uint8_t>(w[1684]);
  EXPECT_EQ(selector, s["selector"].u());
  EXPECT_EQ(selector == 0 ? "stLoadStateWordCur" : "stLoadStateWordPre", s["current"].text);
  const size_t at[2] = {6, 845};
  for (size_t i = 0; i < 2; ++i) {
    StartupSet set = decode_set(w, at[i]);
    const JsonValue &j = s["sets"][i];
    EXPECT_EQ(i == 0 ? "stLoadStateWordCur" : "stLoadStateWordPre", j["field"].text);
    EXPECT_EQ((selector == 0) == (i == 0), j["current"].boolean);
    EXPECT_EQ(set.valid, j["valid_flag"].u());
    EXPECT_EQ(set.valid != 0, j["valid"].boolean);
    EXPECT_EQ(set.package, j["package"].text);
    EXPECT_EQ(set.config, j["config"].text);
    EXPECT_EQ(set.license, j["license"].text);
    EXPECT_EQ(set.patch, j["patch"].text);
    EXPECT_EQ(set.patch_state, j["patch_state"].u());
    EXPECT_EQ(set.voice, j["voice"].text);
  }
  EXPECT_EQ(name_field(w, 1686), s["backup_package"].text);
}

// Both areas good, equal, and holding the pieces given (name and content prefix).
void expect_consistent(const std::string &image) {
  const std::string bytes = bsp::test::read_file(image);
  ASSERT_EQ(kImageSize, bytes.size());
  Area main = decode_area(bytes, kMain), spare = decode_area(bytes, kSpare);
  EXPECT_TRUE(main.crc_ok() && spare.crc_ok());
  EXPECT_EQ("PFS1.1", main.version);
  EXPECT_TRUE(bytes.compare(kMain, kAreaSize, bytes, kSpare, kAreaSize) == 0) << "the areas differ";
}

TEST_F(ImageTool, CreateLeavesAnImageAsAFirstStartWithBothAreasFormatted) {
  const std::string image = make_image("new.img");
  struct stat st;
  ASSERT_EQ(0, stat(image.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  const std::string bytes = bsp::test::read_file(image);
  ASSERT_EQ(kImageSize, bytes.size());
  for (uint32_t area : {kMain, kSpare}) {
    Area a = decode_area(bytes, area);
    EXPECT_TRUE(a.crc_ok()) << std::hex << area;
    EXPECT_EQ("PFS1.1", a.version);
    EXPECT_EQ(0u, a.count);
    EXPECT_EQ(kMain, le32(bytes, area + 80));
    EXPECT_EQ(kSpare, le32(bytes, area + 84));
    EXPECT_EQ(256u, le32(bytes, area + 92));
    EXPECT_EQ(64u, le32(bytes, area + 100));
    EXPECT_EQ(kContent, le32(bytes, area + 116));
    EXPECT_EQ(kAreaSize - kContent, le32(bytes, area + 120));
  }
  // Zero outside the stores.
  EXPECT_EQ(std::string(kMain, '\0'), bytes.substr(0, kMain));
  EXPECT_EQ(std::string(0x100000, '\0'), bytes.substr(0x380000));
  // Nothing beside it is left behind.
  EXPECT_EQ("new.img\n", bsp::test::run_process({"ls", kDir}).out);

  // The library starts on it without a repair and reads what is there.
  ASSERT_EQ(0, bsp::test::sh("cp " + image + " /mnt/misc/flashfile"));
  ProcessResult host = bsp::test::run_process({bsp::test::bsp_shell_path(), "-c", "bsp show pieces"});
  EXPECT_EQ(0, host.status);
  for (const char *complaint : {"FlashRead Fail", "BSP_VfsPieceCheck", "usCrcCheck", "Find Flash Dynamic ERROR"}) {
    EXPECT_EQ(std::string::npos, host.out.find(complaint)) << host.out;
  }
  EXPECT_NE(std::string::npos, host.out.find("MainArea*")) << host.out;
  EXPECT_TRUE(bsp::test::read_file("/mnt/misc/flashfile") == bytes);
}

TEST_F(ImageTool, CreateNeverOverwritesAndNeedsItsDirectory) {
  bsp::test::write_file(path("there.img"), "keep me");
  ProcessResult r = tool({path("there.img"), "create"});
  EXPECT_EQ(1, r.status);
  one_line(r.err);
  EXPECT_EQ("keep me", bsp::test::read_file(path("there.img")));
  ASSERT_EQ(0, bsp::test::sh("mkfifo " + path("fifo.img")));
  EXPECT_EQ(1, tool({path("fifo.img"), "create"}).status);
  r = tool({path("missing/dir.img"), "create"});
  EXPECT_NE(0, r.status);
  one_line(r.err);
  EXPECT_FALSE(bsp::test::file_exists(path("missing")));
  EXPECT_EQ("fifo.img\nthere.img\n", bsp::test::run_process({"ls", kDir}).out);
}

TEST_F(ImageTool, ReadsTheLibrarysImageAsItsOwnDecodingAndChangesNothing) {
  const std::string image = library_image();
  const std::string bytes = bsp::test::read_file(image);
  Area main = decode_area(bytes, kMain);
  ASSERT_TRUE(main.crc_ok());
  // VfsPiecesFile1 grew behind VfsPiecesFile2: the table order is 2, statemach.efs, 1.
  ASSERT_EQ(3u, main.pieces.size());
  EXPECT_EQ("VfsPiecesFile2", main.pieces[0].name);
  EXPECT_EQ("VfsPiecesFile1", main.pieces[2].name);

  expect_pieces_match(kTool, image, main);
  expect_state_matches(kTool, image, main);
  for (auto command : std::vector<std::vector<std::string>>{{"check"},
                                                            {"check", "--json"},
                                                            {"pieces"},
                                                            {"pieces", "ls", "--json"},
                                                            {"pieces", "cat", "VfsPiecesFile1"},
                                                            {"state"},
                                                            {"state", "--json"},
                                                            {"fdy"},
                                                            {"fdy", "ls", "--json"},
                                                            {"fdy", "get", "0x1234"}}) {
    EXPECT_EQ(0, read_only(image, command).status) << command[0];
  }
  // The library's saves: 5 grew from 0x2000 to 0x4000 and moved 0x1234 and 6 up behind it.
  const FdyArea fdy = decode_fdy(bytes);
  ASSERT_EQ(3u, fdy.files.size());
  EXPECT_EQ(5u, fdy.files[0].id);
  EXPECT_EQ(0x4000u, fdy.files[0].allocation);
  EXPECT_EQ(kFdyData + 0x4000, fdy.files[1].offset);
  expect_fdy_matches(kTool, image);
  // The text listing: name and size, in table order.
  ProcessResult ls = read_only(image, {"pieces", "ls"});
  EXPECT_EQ("VfsPiecesFile2     128\nstatemach.efs     2272\nVfsPiecesFile1      64\n", ls.out);
  ProcessResult state = read_only(image, {"state"});
  EXPECT_NE(std::string::npos, state.out.find("current set (stLoadStateWordCur): valid (flag 1)\n  package  flash:/zq.cc\n"))
      << state.out;

  JsonValue check = json_of(read_only(image, {"check", "--json"}));
  EXPECT_EQ("good", check["status"].text);
  for (const char *a : {"main", "spare"}) {
    EXPECT_EQ("good", check["pieces"][a]["state"].text);
    EXPECT_EQ(main.computed_crc, check["pieces"][a]["computed_crc"].u());
    EXPECT_EQ(3u, check["pieces"][a]["files"].u());
  }
  EXPECT_EQ(kMain, check["pieces"]["main"]["offset"].u());
  EXPECT_EQ(kSpare, check["pieces"]["spare"]["offset"].u());
  EXPECT_EQ("main", check["pieces"]["source"].text);
  EXPECT_EQ("none", check["pieces"]["repair"].text);
  EXPECT_EQ(0x180000u, check["flash_dynamic"]["offset"].u());
  EXPECT_EQ("good", check["flash_dynamic"]["state"].text);
  EXPECT_EQ(3u, check["flash_dynamic"]["files"].u());
}

TEST_F(ImageTool, WritesWhatTheLibraryReadsAndKeepsBothAreasEqual) {
  const std::string image = make_image("w.img");
  std::string big(1000, 'b');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  bsp::test::write_file(path("big.bin"), big);
  ASSERT_EQ(0, tool({image, "pieces", "put", "first", path("big.bin")}).status);
  ASSERT_EQ(0, tool({image, "pieces", "put", "second", "-"}, "from standard input").status);
  ASSERT_EQ(0, tool({image, "pieces", "put", "empty"}, "").status);
  // Replaced whole: same allocation in place, another size moved to the end.
  ASSERT_EQ(0, tool({image, "pieces", "put", "second", "-"}, "short").status);
  ASSERT_EQ(0, tool({image, "pieces", "put", "first", "-"}, std::string(40, 'x')).status);
  ASSERT_EQ(0, tool({image, "state", "choose", "flash:/v7.cc"}).status);
  expect_consistent(image);
  std::string bytes = bsp::test::read_file(image);
  Area main = decode_area(bytes, kMain);
  ASSERT_EQ(4u, main.pieces.size());
  EXPECT_EQ("second", main.pieces[0].name);
  EXPECT_EQ("short" + std::string(27, '\0'), main.pieces[0].content);
  EXPECT_EQ("empty", main.pieces[1].name);
  EXPECT_EQ(0u, main.pieces[1].size);
  EXPECT_EQ("first", main.pieces[2].name);
  EXPECT_EQ(std::string(40, 'x') + std::string(24, '\0'), main.pieces[2].content);
  EXPECT_EQ("statemach.efs", main.pieces[3].name);
  expect_pieces_match(kTool, image, main);
  expect_state_matches(kTool, image, main);
  StartupSet current = decode_set(main.pieces[3].content, 6);
  EXPECT_EQ("flash:/v7.cc", current.package);
  EXPECT_EQ(1, current.valid);
  // The record's checksum covers the bytes after it, as the library stamps it.
  EXPECT_EQ(crc16(main.pieces[3].content, 6, 2263), le16(main.pieces[3].content, 4));

  ASSERT_EQ(0, tool({image, "pieces", "rm", "empty"}).status);
  ProcessResult gone = tool({image, "pieces", "rm", "empty"});
  EXPECT_EQ(1, gone.status);
  one_line(gone.err);
  expect_consistent(image);

  // The library at start-up takes the image as it is and sees the choice.
  ASSERT_EQ(0, bsp::test::sh("cp " + image + " /mnt/misc/flashfile"));
  ProcessResult host = bsp::test::run_process({bsp::test::bsp_shell_path(), "-c", "bsp show load state 0 0"});
  EXPECT_NE(std::string::npos, host.out.find("Boot File Name         : flash:/v7.cc")) << host.out;
  EXPECT_TRUE(bsp::test::read_file("/mnt/misc/flashfile") == bsp::test::read_file(image));
}

// Names are bytes: JSON gives each byte outside printable ASCII as \u00XX, the text as \xNN.
TEST_F(ImageTool, NamesAreShownByteForByte) {
  const std::string image = make_image("names.img");
  const std::string odd = "caf\xe9\x01\"q\"\\";
  ASSERT_EQ(0, tool({image, "pieces", "put", odd}, "odd").status);
  ProcessResult ls = read_only(image, {"pieces", "ls", "--json"});
  EXPECT_NE(std::string::npos, ls.out.find("\"caf\\u00e9\\u0001\\\"q\\\"\\\\\"")) << ls.out;
  EXPECT_EQ(odd, json_of(ls)["files"][0]["name"].text);
  EXPECT_EQ(0u, read_only(image, {"pieces", "ls"}).out.find("caf\\xe9\\x01\"q\"\\x5c "));
  ProcessResult cat = read_only(image, {"pieces", "cat", odd});
  EXPECT_EQ(0u, cat.out.find("odd"));
}

TEST_F(ImageTool, RefusesBadArgumentsWithOneLineAndChangesNothing) {
  const std::string image = make_image("a.img");
  ASSERT_EQ(0, tool({image, "pieces", "put", "keep"}, "kept").status);
  const std::string before = bsp::test::read_file(image);
  const std::string long_name(64, 'n');
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{image}, 2},
      {{image, "frobnicate"}, 2},
      {{image, "pieces", "cat"}, 2},
      {{image, "pieces", "cat", "a", "b"}, 2},
      {{image, "pieces", "cat", "nothing"}, 1},
      {{image, "pieces", "rm", "nothing"}, 1},
      {{image, "pieces", "put"}, 2},
      {{image, "pieces", "put", long_name}, 2},
      {{image, "pieces", "put", "x", path("no-such-input")}, 2},
      {{image, "pieces", "move", "x"}, 2},
      {{image, "pieces", "cat", "keep", "--json"}, 2},
      {{image, "pieces", "ls", "--repair"}, 2},
      {{image, "create", "--json"}, 2},
      {{image, "check", "extra"}, 2},
      {{image, "state", "choose"}, 2},
      {{image, "state", "choose", "zq.cc"}, 2},
      {{image, "state", "choose", "flash:/zq.bin"}, 2},
      {{image, "state", "choose", "flash:/dir/zq.cc"}, 2},
      {{image, "state", "choose", "flash:/" + std::string(55, 'v') + ".cc"}, 2},
      {{image, "state", "set"}, 2},
      {{image, "--bogus", "check"}, 2},
      {{image, "fdy", "ls", "x"}, 2},
      {{image, "fdy", "frob"}, 2},
      {{image, "fdy", "get"}, 2},
      {{image, "fdy", "get", "1", "2"}, 2},
      {{image, "fdy", "get", "x5"}, 2},
      {{image, "fdy", "get", "-1"}, 2},
      {{image, "fdy", "get", " 1"}, 2},
      {{image, "fdy", "get", "0x"}, 2},
      {{image, "fdy", "get", "4294967296"}, 2},
      {{image, "fdy", "get", "0xffffffff"}, 2},
      {{image, "fdy", "get", "9"}, 1},
      {{image, "fdy", "get", "9", "--json"}, 2},
      {{image, "fdy", "put"}, 2},
      {{image, "fdy", "put", "0xFFFFFFFF"}, 2},
      {{image, "fdy", "put", "4294967295", "-"}, 2},
      {{image, "fdy", "put", "9", path("no-such-input")}, 2},
      {{image, "fdy", "put", "9", "-", "extra"}, 2},
      {{image, "fdy", "put", "9"}, 1},  // empty standard input: no empty files
  };
  for (const Case &c : cases) {
    ProcessResult r = tool(c.args);
    std::string shown;
    for (const auto &a : c.args) shown += a + " ";
    EXPECT_EQ(c.status, r.status) << shown << r.err;
    EXPECT_TRUE(r.out.empty()) << shown << r.out;
    one_line(r.err);
    EXPECT_TRUE(bsp::test::read_file(image) == before) << shown;
  }
  // The longest name that fits the record is taken.
  EXPECT_EQ(0, tool({image, "state", "choose", "flash:/" + std::string(54, 'v') + ".cc"}).status);
  EXPECT_EQ(0, tool({image, "pieces", "put", std::string(63, 'n')}, "").status);
}

TEST_F(ImageTool, RefusesFilesThatAreNoImage) {
  const std::string image = make_image("ok.img");
  const std::string bytes = bsp::test::read_file(image);
  bsp::test::write_file(path("short.img"), bytes.substr(0, kImageSize - 1));
  bsp::test::write_file(path("long.img"), bytes + "x");
  bsp::test::write_file(path("empty.img"), "");
  ASSERT_EQ(0, bsp::test::sh("mkfifo " + path("fifo.img") + " && mkdir " + path("dir.img")));
  for (const char *name : {"short.img", "long.img", "empty.img", "fifo.img", "dir.img", "missing.img"}) {
    for (auto command : std::vector<std::vector<std::string>>{
             {"check"}, {"pieces"}, {"pieces", "cat", "x"}, {"state"}, {"pieces", "put", "x"}, {"state", "choose", "flash:/a.cc"}}) {
      std::vector<std::string> argv{"timeout", "20"};
      std::vector<std::string> run = bsp::test::with_emulator({kTool, path(name)});
      argv.insert(argv.end(), run.begin(), run.end());
      argv.insert(argv.end(), command.begin(), command.end());
      struct stat st;
      const bool regular = stat(path(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
      const std::string before = regular ? bsp::test::read_file(path(name)) : "";
      ProcessResult r = bsp::test::run_process(argv, "data");
      EXPECT_EQ(2, r.status) << name << " " << command[0] << ": " << r.err;
      one_line(r.err);
      if (regular) {
        EXPECT_TRUE(bsp::test::read_file(path(name)) == before) << name;
      }
    }
  }
  EXPECT_FALSE(bsp::test::file_exists(path("missing.img")));
}

// A damaged area: what check says, what the read commands serve, that writes are refused,
// and what check --repair leaves.
struct Damage {
  const char *name;
  std::function<void(std::string &)> apply;
  const char *main_state, *spare_state, *damage, *source, *repair;
  const char *served;  // "main" or "spare": whose files the read commands show; "" none
};

void flip(std::string &b, uint32_t at) { b[at] = static_cast<char>(b[at] ^ 0x5A); }

TEST_F(ImageTool, DamagedAreasAreReportedServedAsAStartUpWouldAndRepaired) {
  const std::string good = make_image("good.img");
  ASSERT_EQ(0, tool({good, "pieces", "put", "record", "-"}, "the first copy").status);
  ASSERT_EQ(0, tool({good, "state", "choose", "flash:/v2.cc"}).status);
  const std::string clean = bsp::test::read_file(good);
  // An older copy: the image before the state was chosen.
  std::string older = clean;
  {
    const std::string step = make_image("step.img");
    ASSERT_EQ(0, tool({step, "pieces", "put", "record", "-"}, "the first copy").status);
    older = bsp::test::read_file(step);
  }
  // A byte of the free content region: the files themselves stay intact.
  const uint32_t content = kAreaSize - 100;
  const Damage cases[] = {
      {"main crc", [&](std::string &b) { flip(b, kMain + content); }, "damaged", "good", "crc", "spare", "main", "spare"},
      {"spare crc", [&](std::string &b) { flip(b, kSpare + content); }, "good", "damaged", "crc", "main", "spare", "main"},
      {"main not stamped", [&](std::string &b) { put32(b, kMain, 0); }, "damaged", "good", "not_stamped", "spare", "main",
       "spare"},
      {"both crc", [&](std::string &b) { flip(b, kMain + content); flip(b, kSpare + content); }, "damaged", "damaged", "crc",
       "main_restamped", "both", "main"},
      {"main table", [&](std::string &b) { put32(b, kMain + 124, 300); stamp_area(b, kMain); }, "damaged", "good", "layout",
       "spare", "main", "spare"},
      {"spare older (cut commit)",
       [&](std::string &b) { b.replace(kSpare, kAreaSize, older.substr(kSpare, kAreaSize)); }, "good", "good", nullptr, "main",
       "spare", "main"},
      {"main older", [&](std::string &b) { b.replace(kMain, kAreaSize, older.substr(kMain, kAreaSize)); }, "good", "good",
       nullptr, "main", "spare", "main"},
  };
  for (const Damage &d : cases) {
    SCOPED_TRACE(d.name);
    std::string bytes = clean;
    d.apply(bytes);
    const std::string image = path("damaged.img");
    bsp::test::write_file(image, bytes);

    ProcessResult r = read_only(image, {"check", "--json"});
    EXPECT_EQ(1, r.status);
    JsonValue j = json_of(r);
    EXPECT_EQ("damaged", j["status"].text);
    EXPECT_EQ(d.main_state, j["pieces"]["main"]["state"].text);
    EXPECT_EQ(d.spare_state, j["pieces"]["spare"]["state"].text);
    const JsonValue &dmg = std::string(d.main_state) == "damaged" ? j["pieces"]["main"]["damage"] : j["pieces"]["spare"]["damage"];
    if (d.damage != nullptr) {
      EXPECT_EQ(d.damage, dmg.text);
    } else {
      EXPECT_TRUE(dmg.is_null());
    }
    EXPECT_EQ(d.source, j["pieces"]["source"].text);
    EXPECT_EQ(d.repair, j["pieces"]["repair"].text);
    EXPECT_EQ(1, read_only(image, {"check"}).status);

    // Reads show the copy a start-up serves, with a one-line warning and status 1.
    Area served = decode_area(bytes, std::string(d.served) == "spare" ? kSpare : kMain);
    ProcessResult ls = read_only(image, {"pieces", "ls", "--json"});
    EXPECT_EQ(1, ls.status);
    one_line(ls.err);
    JsonValue files = json_of(ls)["files"];
    ASSERT_EQ(served.pieces.size(), files.items.size());
    for (size_t i = 0; i < served.pieces.size(); ++i) EXPECT_EQ(served.pieces[i].name, files[i]["name"].text);
    ProcessResult cat = read_only(image, {"pieces", "cat", "record"});
    EXPECT_EQ(1, cat.status);
    EXPECT_EQ(0u, cat.out.find("the first copy"));
    EXPECT_EQ(1, read_only(image, {"state"}).status);

    // Writes are refused, whole.
    for (auto command : std::vector<std::vector<std::string>>{
             {"pieces", "put", "new", "-"}, {"pieces", "rm", "record"}, {"state", "choose", "flash:/v3.cc"}}) {
      std::vector<std::string> args{image};
      args.insert(args.end(), command.begin(), command.end());
      ProcessResult w = tool(args, "x");
      EXPECT_EQ(1, w.status) << command[0];
      one_line(w.err);
      EXPECT_TRUE(bsp::test::read_file(image) == bytes) << command[1];
    }

    // --repair writes what a start-up would and says so; then everything is good.
    ProcessResult fix = tool({image, "check", "--repair", "--json"});
    EXPECT_EQ(0, fix.status) << fix.out << fix.err;
    JsonValue f = json_of(fix);
    EXPECT_EQ(d.repair, f["repaired"].text);
    EXPECT_EQ("good", f["status_after"].text);
    expect_consistent(image);
    Area after = decode_area(bsp::test::read_file(image), kMain);
    ASSERT_EQ(served.pieces.size(), after.pieces.size());
    for (size_t i = 0; i < served.pieces.size(); ++i) {
      EXPECT_EQ(served.pieces[i].name, after.pieces[i].name);
      EXPECT_TRUE(served.pieces[i].content == after.pieces[i].content);
    }
    EXPECT_EQ(0, read_only(image, {"check"}).status);
  }
}

TEST_F(ImageTool, ANeverStartedImageIsEmptyNotDamaged) {
  const std::string image = path("zero.img");
  bsp::test::write_file(image, std::string(kImageSize, '\0'));
  ProcessResult r = read_only(image, {"check", "--json"});
  EXPECT_EQ(0, r.status) << r.out;
  JsonValue j = json_of(r);
  EXPECT_EQ("empty", j["pieces"]["main"]["state"].text);
  EXPECT_EQ("empty", j["pieces"]["spare"]["state"].text);
  EXPECT_EQ("main_restamped", j["pieces"]["source"].text);
  EXPECT_FALSE(j["pieces"]["keeps_files"].boolean);
  EXPECT_EQ("{\"files\":[]}\n", read_only(image, {"pieces", "ls", "--json"}).out);
  EXPECT_EQ("{\"present\":false}\n", read_only(image, {"state", "--json"}).out);
  EXPECT_EQ("empty", j["flash_dynamic"]["state"].text);
  EXPECT_EQ(0u, j["flash_dynamic"]["files"].u());
  ProcessResult fdy = read_only(image, {"fdy", "ls", "--json"});
  EXPECT_EQ(0, fdy.status);
  EXPECT_EQ("{\"files\":[]}\n", fdy.out);
  // A first write starts it as a start-up would.
  ASSERT_EQ(0, tool({image, "pieces", "put", "p"}, "x").status);
  expect_consistent(image);
  ASSERT_EQ(0, tool({image, "fdy", "put", "3"}, "first").status);
  const FdyArea area = decode_fdy(bsp::test::read_file(image));
  EXPECT_TRUE(area.magic_ok);
  ASSERT_EQ(1u, area.files.size());
  EXPECT_EQ(kFdyData, area.files[0].offset);
  EXPECT_EQ("first", area.files[0].content);
}

// Hostile images: tables that lie about themselves under a right CRC. check and pieces ls
// must answer (no crash, nothing read outside the image) and change nothing.
TEST_F(ImageTool, HostileTablesAreJudgedWithoutHarm) {
  const std::string image = make_image("base.img");
  ASSERT_EQ(0, tool({image, "pieces", "put", "one"}, "1").status);
  ASSERT_EQ(0, tool({image, "pieces", "put", "two"}, "2").status);
  const std::string clean = bsp::test::read_file(image);
  const uint32_t d0 = kMain + 128, d1 = kMain + 128 + 76;
  struct Hostile {
    const char *name;
    std::function<void(std::string &)> apply;
  } cases[] = {
      {"count past the table", [&](std::string &b) { put32(b, kMain + 124, 0xFFFFFFFF); }},
      {"table size past the slots", [&](std::string &b) { put32(b, kMain + 92, 100000); }},
      {"content offset past the area", [&](std::string &b) { put32(b, d1 + 68, 0x7FFFFFF0); }},
      {"size that wraps", [&](std::string &b) { put32(b, d0 + 64, 0xFFFFFFE0); }},
      {"used offset past the area", [&](std::string &b) { put32(b, kMain + 116, 0x90000); }},
      {"free bytes that do not add up", [&](std::string &b) { put32(b, kMain + 120, 0xFFFFFFFF); }},
      {"unterminated name", [&](std::string &b) { b.replace(d0, 64, std::string(64, 'N')); }},
      {"name length 0", [&](std::string &b) { put32(b, kMain + 100, 0); }},
      {"overlapping files", [&](std::string &b) { put32(b, d1 + 68, kContent); }},
      {"descriptor not in use", [&](std::string &b) { put32(b, d0 + 72, 0x1979); }},
      {"magic of another version", [&](std::string &b) { b.replace(kMain + 16, 7, std::string("PFS9.9\0", 7)); }},
      {"no magic", [&](std::string &b) { b.replace(kMain + 16, 7, std::string(7, '\0')); }},
      {"all ones", [&](std::string &b) { b.replace(kMain + 16, kAreaSize - 16, std::string(kAreaSize - 16, '\xff')); }},
  };
  for (const Hostile &h : cases) {
    SCOPED_TRACE(h.name);
    std::string bytes = clean;
    h.apply(bytes);
    stamp_area(bytes, kMain);
    bytes.replace(kSpare, kAreaSize, bytes.substr(kMain, kAreaSize));
    bsp::test::write_file(image, bytes);
    ProcessResult check = read_only(image, {"check", "--json"});
    EXPECT_TRUE(check.status == 0 || check.status == 1) << check.err;
    JsonValue j = json_of(check);
    ProcessResult ls = read_only(image, {"pieces", "ls", "--json"});
    EXPECT_TRUE(ls.status == 0 || ls.status == 1) << ls.err;
    JsonValue l = json_of(ls);
    // What is listed lies inside the area.
    for (const JsonValue &f : l["files"].items) {
      EXPECT_LE(f["offset"].u() + f["size"].u(), kAreaSize);
      EXPECT_LT(f["name"].text.size(), 64u);
    }
    ProcessResult text = read_only(image, {"pieces"});
    EXPECT_TRUE(text.status == 0 || text.status == 1) << text.err;
  }
}

// Four writers at once, each putting its own files: every file is there afterwards, as the
// library's own writers keep each other's commits.
TEST_F(ImageTool, ConcurrentWritersKeepEachOthersFiles) {
  const std::string image = make_image("shared.img");
  std::string script;
  std::vector<std::string> run = bsp::test::with_emulator({kTool});
  std::string program;
  for (const auto &w : run) program += w + " ";
  for (int writer = 0; writer < 4; ++writer) {
    script += "( for f in 0 1 2 3 4; do echo w" + std::to_string(writer) + "f$f | " + program + image +
              " pieces put w" + std::to_string(writer) + "f$f > /dev/null || echo fail; done ) & ";
  }
  script += "wait";
  ProcessResult r = bsp::test::run_process({"sh", "-c", script});
  EXPECT_EQ("", r.out);
  expect_consistent(image);
  Area main = decode_area(bsp::test::read_file(image), kMain);
  EXPECT_EQ(20u, main.pieces.size());
  for (const Piece &p : main.pieces) EXPECT_EQ(p.name + "\n", p.content.substr(0, p.name.size() + 1));
}

// The same with flash-dynamic files: the savers take turns under the area's file lock, and
// every file is there, back to back, afterwards.
TEST_F(ImageTool, ConcurrentFdySaversKeepEachOthersFiles) {
  const std::string image = make_image("fdyshared.img");
  std::string program;
  for (const auto &w : bsp::test::with_emulator({kTool})) program += w + " ";
  std::string script;
  for (int writer = 0; writer < 4; ++writer) {
    script += "( for f in 0 1 2 3 4; do echo w" + std::to_string(writer) + "f$f | " + program + image + " fdy put " +
              std::to_string(writer) + "$f > /dev/null || echo fail; done ) & ";
  }
  script += "wait";
  ProcessResult r = bsp::test::run_process({"sh", "-c", script});
  EXPECT_EQ("", r.out);
  const FdyArea area = decode_fdy(bsp::test::read_file(image));
  ASSERT_EQ(20u, area.files.size());
  uint32_t expected = kFdyData;
  for (const FdyFile &f : area.files) {
    EXPECT_EQ(expected, f.offset);
    expected += f.allocation;
    EXPECT_EQ("w" + std::to_string(f.id / 10) + "f" + std::to_string(f.id % 10) + "\n", f.content);
  }
  EXPECT_EQ(0, read_only(image, {"check"}).status);
}

// A cut at each write of a put: afterwards the image holds the old or the new file, and a
// start-up (check --repair) makes both areas agree; a cut during create leaves no image.
TEST_F(ImageTool, ACutAtAnyWriteLeavesTheOldOrTheNewImage) {
  const std::string image = make_image("cut.img");
  ASSERT_EQ(0, tool({image, "pieces", "put", "old"}, "before").status);
  const std::string original = bsp::test::read_file(image);
  bool finished = false;
  int cuts = 0;
  for (int at = 1; at < 20 && !finished; ++at) {
    for (const char *partial : {"0", "1"}) {
      SCOPED_TRACE(std::to_string(at) + (partial[0] == '1' ? " half" : ""));
      bsp::test::write_file(image, original);
      std::vector<std::string> argv;
      // The 32-bit tool runs under the emulator, which hands the preload to the program.
      const std::vector<std::string> runner = bsp::test::with_emulator({kTool});
      const char *emulator = runner.size() > 1 ? runner[0].c_str() : nullptr;
      const std::string preload = std::string("LD_PRELOAD=") + BSP_CUT_DOUBLE;
      const std::string at_env = "BSP_CUT_AT=" + std::to_string(at), half = std::string("BSP_CUT_HALF=") + partial;
      const std::string target = "BSP_CUT_PATH=" + image;
      if (emulator != nullptr && *emulator != '\0') {
        argv = {emulator, "-E", preload, "-E", at_env, "-E", half, "-E", target};
      } else {
        argv = {"env", preload, at_env, half, target};
      }
      for (const std::string &a : {kTool, image, std::string("pieces"), std::string("put"), std::string("new")}) argv.push_back(a);
      ProcessResult r = bsp::test::run_process(argv, "after");
      if (r.status == 0) {
        finished = true;
      } else {
        EXPECT_EQ(99, r.status) << r.err;
        ++cuts;
      }
      ProcessResult fix = tool({image, "check", "--repair"});
      EXPECT_EQ(0, fix.status) << fix.out;
      expect_consistent(image);
      Area a = decode_area(bsp::test::read_file(image), kMain);
      ASSERT_GE(a.pieces.size(), 1u);
      EXPECT_EQ("old", a.pieces[0].name);
      EXPECT_EQ(0u, a.pieces[0].content.find("before"));
      if (a.pieces.size() == 2) {
        EXPECT_EQ(0u, a.pieces[1].content.find("after"));
      }
      if (finished) {
        EXPECT_EQ(2u, a.pieces.size());
        break;
      }
    }
  }
  EXPECT_TRUE(finished);
  // Before and inside the main area's write and the spare area's.
  EXPECT_EQ(4, cuts);
}

// Images of the other build (32-bit and 64-bit): each tool reads the other's images, and the
// same commands give the same bytes.
TEST_F(ImageTool, ImagesOfTheOtherBuildReadTheSame) {
  const std::string peer = BSP_PEER_BUILD;
  if (peer.empty()) GTEST_SKIP() << "no other build: configure with -DBSP_PEER_BUILD=<the other build tree>";
  const std::string peer_tool = peer + "/tools/bsp-image/bsp-image";
  const std::string peer_shell = peer + "/tools/bsp-shell/bsp-shell", peer_lib = peer + "/src/libbsp.so";
  if (!bsp::test::file_exists(peer_tool) || !bsp::test::file_exists(peer_shell)) {
    GTEST_SKIP() << "the other build (" << peer << ") has no bsp-image or bsp-shell built";
  }
  auto write_with = [&](const std::string &t, const std::string &image) {
    ASSERT_EQ(0, image_tool(t, {image, "create"}).status);
    ASSERT_EQ(0, image_tool(t, {image, "pieces", "put", "a"}, "alpha").status);
    ASSERT_EQ(0, image_tool(t, {image, "pieces", "put", "b"}, std::string(300, 'b')).status);
    ASSERT_EQ(0, image_tool(t, {image, "state", "choose", "flash:/cross.cc"}).status);
    ASSERT_EQ(0, image_tool(t, {image, "pieces", "put", "a"}, std::string(100, 'a')).status);
    ASSERT_EQ(0, image_tool(t, {image, "fdy", "put", "1"}, std::string(300, '1')).status);
    ASSERT_EQ(0, image_tool(t, {image, "fdy", "put", "2"}, "two").status);
    ASSERT_EQ(0, image_tool(t, {image, "fdy", "put", "1"}, std::string(0x3000, 'x')).status);
  };
  write_with(kTool, path("own.img"));
  write_with(peer_tool, path("peer.img"));
  EXPECT_TRUE(bsp::test::read_file(path("own.img")) == bsp::test::read_file(path("peer.img")))
      << "the two builds wrote different bytes";
  for (const auto &[reader, image] : std::vector<std::pair<std::string, std::string>>{{kTool, path("peer.img")},
                                                                                     {peer_tool, path("own.img")}}) {
    SCOPED_TRACE(reader + " reads " + image);
    Area main = decode_area(bsp::test::read_file(image), kMain);
    expect_pieces_match(reader, image, main);
    expect_state_matches(reader, image, main);
    expect_fdy_matches(reader, image);
    EXPECT_EQ(0, image_tool(reader, {image, "check"}).status);
  }
  // The other build's library makes an image; this tool reads it, and the other tool reads the
  // image this build's library made.
  ProcessResult host = bsp::test::run_process({peer_shell, "--lib", peer_lib, "-c", "bsp pieces write 5 0 0x55 20", "-c",
                                               "bsp init load state 0 0"});
  ASSERT_EQ(0, host.status) << host.err;
  ASSERT_EQ(0, bsp::test::sh("mv /mnt/misc/flashfile " + path("peerlib.img")));
  std::string own_lib = library_image();
  for (const auto &[reader, image] : std::vector<std::pair<std::string, std::string>>{{kTool, path("peerlib.img")},
                                                                                     {peer_tool, own_lib}}) {
    SCOPED_TRACE(reader + " reads " + image);
    Area main = decode_area(bsp::test::read_file(image), kMain);
    ASSERT_FALSE(main.pieces.empty());
    expect_pieces_match(reader, image, main);
    expect_state_matches(reader, image, main);
    expect_fdy_matches(reader, image);
  }
}

// The flash-dynamic area of a new image: the magic, then every byte erased (no files), as the
// first start's format leaves it.
TEST_F(ImageTool, FdyCreateFormatsTheAreaWithItsMagicAndAnEmptyTable) {
  const std::string image = make_image("fdy.img");
  const std::string bytes = bsp::test::read_file(image);
  EXPECT_EQ(kFdyMagicOne, le32(bytes, kFdy));
  EXPECT_EQ(kFdyMagicTwo, le32(bytes, kFdy + 4));
  EXPECT_TRUE(bytes.substr(kFdy + 8, kFdySize - 8) == std::string(kFdySize - 8, '\xff'));
  EXPECT_TRUE(decode_fdy(bytes).files.empty());
  ProcessResult ls = read_only(image, {"fdy"});
  EXPECT_EQ(0, ls.status);
  EXPECT_EQ("", ls.out);
  EXPECT_EQ("{\"files\":[]}\n", read_only(image, {"fdy", "ls", "--json"}).out);
  JsonValue check = json_of(read_only(image, {"check", "--json"}));
  const JsonValue &f = check["flash_dynamic"];
  EXPECT_EQ("good", f["state"].text);
  EXPECT_EQ(0x200000u, f["size"].u());
  EXPECT_EQ(0u, f["files"].u());
  EXPECT_TRUE(f["damage"].is_null());
}

// put, get and ls with several identifiers and sizes, and rewrites that grow, keep and shrink
// an allocation (moving the files behind it); the library then takes the area as it is.
TEST_F(ImageTool, FdyPutGetAndLsRoundTripThroughResizes) {
  const std::string image = make_image("files.img");
  auto bytes_of = [](size_t n, int seed) {
    std::string b(n, '\0');
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i * 31 + seed);
    return b;
  };
  const std::string five = bytes_of(100, 5), sixteen = bytes_of(20000, 16), seven = "hi\n", big = bytes_of(0x2000, 9);
  bsp::test::write_file(path("five"), five);
  bsp::test::write_file(path("sixteen"), sixteen);
  ProcessResult r = tool({image, "fdy", "put", "5", path("five")});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("5: 100 bytes saved, offset 0x1a0000, allocation 0x2000\n", r.out);
  ASSERT_EQ(0, tool({image, "fdy", "put", "0x10", path("sixteen")}).status);
  ASSERT_EQ(0, tool({image, "fdy", "put", "7", "-"}, seven).status);
  ASSERT_EQ(0, tool({image, "fdy", "put", "4000000000"}, big).status);

  struct Want {
    uint32_t id, offset, length, allocation;
    const std::string *content;
  };
  auto expect_files = [&](const std::vector<Want> &want) {
    const FdyArea area = decode_fdy(bsp::test::read_file(image));
    ASSERT_EQ(want.size(), area.files.size());
    for (size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE("file " + std::to_string(want[i].id));
      EXPECT_EQ(want[i].id, area.files[i].id);
      EXPECT_EQ(want[i].offset, area.files[i].offset);
      EXPECT_EQ(want[i].length, area.files[i].length);
      EXPECT_EQ(want[i].allocation, area.files[i].allocation);
      EXPECT_TRUE(area.files[i].content == *want[i].content);
    }
    expect_fdy_matches(kTool, image);
  };
  // 20 % slack in blocks of 0x2000: 20000 bytes take 0x6000.
  expect_files({{5, kFdyData, 100, 0x2000, &five},
                {16, kFdyData + 0x2000, 20000, 0x6000, &sixteen},
                {7, kFdyData + 0x8000, 3, 0x2000, &seven},
                {4000000000u, kFdyData + 0xA000, 0x2000, 0x2000, &big}});

  // 5 grows to 0xA000: the three behind it move up by 0x8000.
  const std::string longer = bytes_of(30000, 55);
  ASSERT_EQ(0, tool({image, "fdy", "put", "5"}, longer).status);
  expect_files({{5, kFdyData, 30000, 0xA000, &longer},
                {16, kFdyData + 0xA000, 20000, 0x6000, &sixteen},
                {7, kFdyData + 0x10000, 3, 0x2000, &seven},
                {4000000000u, kFdyData + 0x12000, 0x2000, 0x2000, &big}});
  // 24000 bytes still use 80 % of 0x6000: 16 keeps its allocation, nothing moves.
  const std::string fuller = bytes_of(24000, 61);
  ASSERT_EQ(0, tool({image, "fdy", "put", "16"}, fuller).status);
  // 5 shrinks to 200 bytes, under 80 % of its allocation: back to 0x2000, the rest moves down.
  const std::string shorter = bytes_of(200, 77);
  ASSERT_EQ(0, tool({image, "fdy", "put", "5"}, shorter).status);
  expect_files({{5, kFdyData, 200, 0x2000, &shorter},
                {16, kFdyData + 0x2000, 24000, 0x6000, &fuller},
                {7, kFdyData + 0x8000, 3, 0x2000, &seven},
                {4000000000u, kFdyData + 0xA000, 0x2000, 0x2000, &big}});
  EXPECT_EQ(0, read_only(image, {"check"}).status);

  // The library starts on it without a format and leaves it as it is.
  ProcessResult host = start_library_on(image);
  EXPECT_EQ(0, host.status) << host.err;
  EXPECT_EQ(std::string::npos, host.out.find("Find Flash Dynamic ERROR")) << host.out;
  EXPECT_TRUE(bsp::test::read_file("/mnt/misc/flashfile") == bsp::test::read_file(image));
}

// A damaged area (what the start-up's check rejects): check says so with status 1, the fdy
// commands refuse with one line, nothing changes; the library's start-up agrees and formats it,
// keeping a first file 6 when check said it would.
TEST_F(ImageTool, FdyDamagedAreaIsReportedRefusedAndLeftAsItIs) {
  const std::string base = make_image("fdybase.img");
  ASSERT_EQ(0, tool({base, "fdy", "put", "9"}, "nine").status);
  ASSERT_EQ(0, tool({base, "fdy", "put", "12"}, std::string(5000, 'c')).status);
  const std::string clean = bsp::test::read_file(base);
  const uint32_t e0 = kFdy + 8, e1 = kFdy + 8 + 24;
  struct Case {
    const char *name;
    std::function<void(std::string &)> apply;
    const char *damage;
    bool keeps_first;
  } cases[] = {
      {"no magic", [&](std::string &b) { put32(b, kFdy, 0); }, "magic", false},
      {"second magic word", [&](std::string &b) { flip(b, kFdy + 7); }, "magic", false},
      {"no magic, file 6 first", [&](std::string &b) { put32(b, kFdy + 4, 0x12345678); put32(b, e0, 6); }, "magic", true},
      {"a gap between the files", [&](std::string &b) { put32(b, e1 + 4, le32(b, e1 + 4) + 0x2000); }, "table", false},
      {"a file with the erased identifier", [&](std::string &b) { put32(b, e1, 0xFFFFFFFF); }, "table", false},
      {"a file past the area", [&](std::string &b) { put32(b, e1 + 8, 0x300000); }, "table", false},
      {"a file in the table", [&](std::string &b) { put32(b, e0 + 4, kFdy + 8); }, "table", false},
  };
  for (const Case &d : cases) {
    SCOPED_TRACE(d.name);
    std::string bytes = clean;
    d.apply(bytes);
    const std::string image = path("fdydamaged.img");
    bsp::test::write_file(image, bytes);

    ProcessResult r = read_only(image, {"check", "--json"});
    EXPECT_EQ(1, r.status);
    JsonValue j = json_of(r);
    EXPECT_EQ("damaged", j["status"].text);
    EXPECT_EQ("damaged", j["flash_dynamic"]["state"].text);
    EXPECT_EQ(d.damage, j["flash_dynamic"]["damage"].text);
    EXPECT_EQ(d.keeps_first, j["flash_dynamic"]["keeps_first_file"].boolean);
    EXPECT_EQ("good", j["pieces"]["main"]["state"].text);
    ProcessResult text = read_only(image, {"check"});
    EXPECT_EQ(1, text.status);
    EXPECT_NE(std::string::npos, text.out.find("flash-dynamic area (0x180000): damaged")) << text.out;

    for (auto command : std::vector<std::vector<std::string>>{
             {"fdy"}, {"fdy", "ls", "--json"}, {"fdy", "get", "9"}, {"fdy", "put", "9", "-"}, {"fdy", "put", "40", "-"}}) {
      std::vector<std::string> args{image};
      args.insert(args.end(), command.begin(), command.end());
      ProcessResult c = tool(args, "new content");
      EXPECT_EQ(1, c.status) << command.back();
      EXPECT_EQ("", c.out);
      EXPECT_NE(std::string::npos, one_line(c.err).find("damaged")) << c.err;
      EXPECT_TRUE(bsp::test::read_file(image) == bytes) << command.back();
    }

    // The start-up calls it damaged too, and formats it as check said.
    ProcessResult host = start_library_on(image);
    EXPECT_NE(std::string::npos, host.out.find("Find Flash Dynamic ERROR")) << host.out;
    const FdyArea after = decode_fdy(bsp::test::read_file("/mnt/misc/flashfile"));
    EXPECT_EQ(d.keeps_first ? 1u : 0u, after.files.size());
  }
}

}  // namespace
