// The input/output floor of one compilation: a process that reads a score whole and writes an
// image of a given size to the output name, through the very functions the compiler uses for
// that part of its work (and nothing else).
//   orvate_iofloor IN OUT SIZE
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/AppUtils.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: orvate_iofloor IN OUT SIZE\n");
    return 2;
  }
  std::string in;
  if (!orvate::ReadWholeFile(argv[1], in)) return 1;
  const std::size_t size = std::strtoull(argv[3], nullptr, 10);
  // The image is built from the input so that reading it cannot be optimised away.
  std::string image;
  image.reserve(size);
  while (image.size() < size) {
    const std::size_t take = in.empty() ? size - image.size() : std::min(in.size(), size - image.size());
    if (in.empty()) image.append(take, '\0');
    else image.append(in, 0, take);
  }
  return orvate::WriteFileAtomically(argv[2], image) ? 0 : 1;
}
