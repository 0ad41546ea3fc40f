#pragma once
// A fresh folder under the system's temporary folder, removed with all it
// holds when the owner goes out of scope.

#include <filesystem>
#include <string>
#include <vector>

// Creates a new folder named `prefix` + "-XXXXXX" (made unique) under the
// temporary folder; throws std::runtime_error when it cannot.
std::filesystem::path MakeTempFolder(const std::string& prefix = "velkan");

class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix = "velkan") : path_(MakeTempFolder(prefix)) {}
    // Removes the folder even where a test took away the owner's rights.
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Names in the folder, sorted.
    std::vector<std::string> names() const;

  private:
    std::filesystem::path path_;
};
