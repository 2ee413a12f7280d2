// bsp-mkpkg OUT NAME=FILE[:CRC]...  writes a startup package holding the given images. Without
// a CRC, each image's code CRC is derived from its bytes.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "package_builder.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: bsp-mkpkg OUT NAME=FILE[:CRC]...\n");
    return 2;
  }
  std::vector<bsp::pkg::FileSubfile> subfiles;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) {
      fprintf(stderr, "bsp-mkpkg: bad subfile '%s'\n", argv[i]);
      return 2;
    }
    bsp::pkg::FileSubfile s;
    s.name = arg.substr(0, eq);
    std::string rest = arg.substr(eq + 1);
    size_t colon = rest.rfind(':');
    bool explicit_crc = colon != std::string::npos && colon + 1 < rest.size() &&
                        rest.find_first_not_of("0123456789xXabcdefABCDEF", colon + 1) == std::string::npos;
    s.path = explicit_crc ? rest.substr(0, colon) : rest;
    if (explicit_crc) {
      s.code_crc = static_cast<uint16_t>(strtoul(rest.c_str() + colon + 1, nullptr, 0));
    } else {
      FILE *f = fopen(s.path.c_str(), "rb");
      if (f == nullptr) {
        fprintf(stderr, "bsp-mkpkg: cannot read %s\n", s.path.c_str());
        return 1;
      }
      // Hash the first and last MiB: enough to tell images apart, cheap for big ones.
      std::string sample(1 << 20, '\0');
      sample.resize(fread(&sample[0], 1, sample.size(), f));
      std::string tail(1 << 20, '\0');
      if (fseeko(f, -static_cast<off_t>(tail.size()), SEEK_END) == 0) tail.resize(fread(&tail[0], 1, tail.size(), f));
      else tail.clear();
      fclose(f);
      s.code_crc = bsp::pkg::content_crc(sample + tail);
    }
    subfiles.push_back(s);
  }
  if (!bsp::pkg::write_from_files(argv[1], subfiles)) {
    fprintf(stderr, "bsp-mkpkg: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
