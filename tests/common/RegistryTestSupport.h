#pragma once
// A private configuration folder for tests that read the registry store:
// XDG_CONFIG_HOME (and XDG_RUNTIME_DIR, for instance locks) point into a
// fresh temporary folder for the life of the object.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TempFolder.h"

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class TempRegistry {
  public:
    TempRegistry()
        : root_(MakeTempFolder("velkan-reg")),
          config_("XDG_CONFIG_HOME", (root_ / "config").string()),
          runtime_("XDG_RUNTIME_DIR", (root_ / "runtime").string()) {
        std::filesystem::create_directories(root_ / "config" / "Tavi");
        std::filesystem::create_directories(root_ / "runtime");
        std::filesystem::permissions(root_ / "runtime", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    }
    ~TempRegistry() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    std::filesystem::path storePath() const {
        return root_ / "config" / "Tavi" / "HKEY_CURRENT_USER.reg";
    }
    std::filesystem::path root() const { return root_; }

    void writeBytes(const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(storePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    // UTF-8 text without BOM.
    void write(std::string_view text) const {
        writeBytes(std::vector<std::uint8_t>(text.begin(), text.end()));
    }

  private:
    std::filesystem::path root_;
    ScopedEnv config_;
    ScopedEnv runtime_;
};

inline std::vector<std::uint8_t> Bytes(std::string_view s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}
