// Test helpers: in-memory files and hand-filled arrays.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/state.h"

namespace plovanet::test {

// Text written to a FILE* that the test reads back afterwards.
struct MemFile {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&data, &size);
  std::string text() {
    std::fflush(fp);
    return {data, size};
  }
  ~MemFile() {
    if (fp != nullptr) std::fclose(fp);
    std::free(data);
  }
};

inline void fill(const Array& a, const std::vector<double>& v) {
  for (std::size_t i = 0; i < v.size(); ++i) a[i] = v[i];
}

}  // namespace plovanet::test
