#pragma once
// What the fuzzers share: seeds written at start-up into the folder
// scripts/test-fuzz names in FUZZ_GENERATED_SEEDS (built by the code under
// test, so the repository keeps no binary copies), and a private file for
// inputs that the code reads from a path.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <span>
#include <string>

namespace fuzzseeds {

// Writes one seed when the script asked for them.
inline void WriteSeed(const std::string& name, std::span<const std::uint8_t> bytes) {
    const char* folder = std::getenv("FUZZ_GENERATED_SEEDS");
    if (folder == nullptr || *folder == '\0')
        return;
    std::ofstream out(std::string(folder) + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteSeed(const std::string& name, const std::string& text) {
    WriteSeed(name, std::span<const std::uint8_t>(
                        reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// A file of the process's own under the temporary folder, holding the input
// being run; removed when the process ends normally.
class InputFile {
  public:
    explicit InputFile(const std::string& suffix) {
        const char* tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velkan-fuzz-" +
                std::to_string(::getpid()) + suffix;
    }
    ~InputFile() { ::unlink(path_.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The file now holds exactly `bytes`.
    const std::string& Hold(const std::uint8_t* data, std::size_t size) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out)
            std::abort();
        return path_;
    }

  private:
    std::string path_;
};

}  // namespace fuzzseeds
