// A fresh directory for one test, removed with everything in it when the test ends.
#pragma once

#include <string>

namespace testing_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // The path of name inside the directory, with the platform's separator.
    std::string File(const std::string& name) const;

  private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Sets or clears an environment variable on both platforms.
void SetEnv(const char* name, const char* value);

}  // namespace testing_support
