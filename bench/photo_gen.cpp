// photo_gen.cpp - writes the photo-like image of the screening benchmarks
// (photo_image.h) as a raw grey PGM (P5; white paper, black full ink), for
// runs of riphost in bench/screener_throughput.sh.
//
//   photo_gen WIDTHxHEIGHT OUT.pgm
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "photo_image.h"

int main(int argc, char** argv) {
  int width = 0, height = 0;
  if (argc != 3 || std::sscanf(argv[1], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
    std::fprintf(stderr, "usage: photo_gen WIDTHxHEIGHT OUT.pgm\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::fprintf(stderr, "photo_gen: cannot create %s\n", argv[2]);
    return 1;
  }
  std::fprintf(out, "P5\n%d %d\n255\n", width, height);
  // Row by row, so any size fits in memory.
  std::vector<std::uint8_t> ink(static_cast<std::size_t>(width));
  std::vector<unsigned char> line(ink.size());
  for (int y = 0; y < height; ++y) {
    bench::photo_row(width, height, y, ink.data());
    for (int x = 0; x < width; ++x) line[static_cast<std::size_t>(x)] = static_cast<unsigned char>(255 - ink[x]);
    std::fwrite(line.data(), 1, line.size(), out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
