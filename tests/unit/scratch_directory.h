#pragma once

// A fresh directory under the system's temporary directory for tests that
// need real files, removed again with everything in it. Optionally it is the
// working directory while it lives.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quorvel::testing {

class ScratchDirectory {
 public:
  explicit ScratchDirectory(bool makeCurrent = false) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-core-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "no temporary directory";
      return;
    }
    path_ = pattern;
    if (makeCurrent) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~ScratchDirectory() {
    if (!previous_.empty()) std::filesystem::current_path(previous_);
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Writes `bytes` exactly as given (no line-end translation); returns the path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << file;
    return file.string();
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace quorvel::testing
