#include "package_builder.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

namespace bsp::pkg {

namespace {

constexpr uint64_t kAlign = 4096;

uint64_t align_up(uint64_t v) { return (v + kAlign - 1) / kAlign * kAlign; }

std::string lead_and_heads(const std::vector<std::pair<std::string, uint64_t>> &names_lengths,
                           std::vector<uint64_t> &data_at) {
  std::string out(kSubHeadsOffset + kSubHeadSize * names_lengths.size(), '\0');
  // The lead-in is opaque to the loader; fill it so that nothing relies on zeros.
  for (uint32_t i = 0; i < kHeadOffset; ++i) out[i] = static_cast<char>(0xA5 ^ i);
  put_le32(out, kHeadOffset + kCountField, static_cast<uint32_t>(names_lengths.size()));
  uint64_t at = align_up(out.size());
  for (size_t i = 0; i < names_lengths.size(); ++i) {
    size_t head = kSubHeadsOffset + kSubHeadSize * i;
    const std::string &name = names_lengths[i].first;
    memcpy(&out[head], name.data(), name.size() < kNameSize - 1 ? name.size() : kNameSize - 1);
    put_le32(out, head + kLengthField, static_cast<uint32_t>(names_lengths[i].second));
    put_le32(out, head + kOffsetField, static_cast<uint32_t>(at - kHeadOffset));
    data_at.push_back(at);
    at = align_up(at + names_lengths[i].second);
  }
  return out;
}

}  // namespace

void put_le32(std::string &bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void put_le16(std::string &bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

std::string efs_block(uint16_t code_crc, const std::string &tag) {
  std::string efs(kEfsSize, '\0');
  for (size_t i = 0; i < kCodeCrcField; ++i) efs[i] = i < tag.size() ? tag[i] : static_cast<char>(0x40 + i);
  put_le16(efs, kCodeCrcField, code_crc);
  efs[66] = 0x5a;
  efs[67] = 0x3c;
  return efs;
}

uint16_t content_crc(const std::string &image) {
  uint32_t h = 2166136261u;
  for (unsigned char c : image) h = (h ^ c) * 16777619u;
  return static_cast<uint16_t>(h ^ (h >> 16));
}

std::string build(const std::vector<Subfile> &subfiles) {
  std::vector<std::pair<std::string, uint64_t>> heads;
  for (const Subfile &s : subfiles) heads.emplace_back(s.name, s.image.size() + kEfsSize);
  std::vector<uint64_t> data_at;
  std::string out = lead_and_heads(heads, data_at);
  for (size_t i = 0; i < subfiles.size(); ++i) {
    out.resize(data_at[i], '\0');
    out += subfiles[i].image;
    out += efs_block(subfiles[i].code_crc, subfiles[i].name);
  }
  return out;
}

bool write_from_files(const std::string &out_path, const std::vector<FileSubfile> &subfiles) {
  std::vector<std::pair<std::string, uint64_t>> heads;
  for (const FileSubfile &s : subfiles) {
    struct stat st;
    if (stat(s.path.c_str(), &st) != 0) return false;
    heads.emplace_back(s.name, static_cast<uint64_t>(st.st_size) + kEfsSize);
  }
  std::vector<uint64_t> data_at;
  std::string lead = lead_and_heads(heads, data_at);
  FILE *out = fopen(out_path.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = fwrite(lead.data(), 1, lead.size(), out) == lead.size();
  std::vector<char> chunk(1 << 20);
  for (size_t i = 0; ok && i < subfiles.size(); ++i) {
    ok = fseeko(out, static_cast<off_t>(data_at[i]), SEEK_SET) == 0;
    FILE *in = ok ? fopen(subfiles[i].path.c_str(), "rb") : nullptr;
    ok = in != nullptr;
    size_t n;
    while (ok && (n = fread(chunk.data(), 1, chunk.size(), in)) > 0) ok = fwrite(chunk.data(), 1, n, out) == n;
    if (in != nullptr) fclose(in);
    std::string efs = efs_block(subfiles[i].code_crc, subfiles[i].name);
    ok = ok && fwrite(efs.data(), 1, efs.size(), out) == efs.size();
  }
  return fclose(out) == 0 && ok;
}

}  // namespace bsp::pkg
