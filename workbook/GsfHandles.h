#pragma once
// Owners of libgsf's objects and the library's one-time set-up, shared by the
// readers of the compound file (.xls) and of the zip packages (.xlsx, .ods).

#include <gsf/gsf-utils.h>

#include <array>
#include <mutex>

namespace xls::ole {

// Owns one reference of a GObject.
template <typename T>
class GRef {
  public:
    explicit GRef(T* object = nullptr) : object_(object) {}
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    ~GRef() {
        if (object_ != nullptr) {
            g_object_unref(object_);
        }
    }
    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

  private:
    T* object_;
};

class GErrorOwner {
  public:
    GErrorOwner() = default;
    GErrorOwner(const GErrorOwner&) = delete;
    GErrorOwner& operator=(const GErrorOwner&) = delete;
    ~GErrorOwner() {
        if (error_ != nullptr) {
            g_error_free(error_);
        }
    }
    GError** out() { return &error_; }

  private:
    GError* error_ = nullptr;
};

// libgsf reports damaged containers with g_return_if_fail on stderr before
// failing the call; the failure itself reaches the user as a PlatformError,
// so the messages are dropped while a file is being read.
// Two threads may read files at once: the handlers are set and removed one
// thread at a time (GLib's own lock is one the thread checker cannot see).
class QuietGsfLog {
  public:
    QuietGsfLog() {
        const std::lock_guard<std::mutex> lock(Handlers());
        for (std::size_t i = 0; i < kDomains.size(); ++i) {
            handlers_[i] = g_log_set_handler(kDomains[i], kLevels, &Drop, nullptr);
        }
    }
    QuietGsfLog(const QuietGsfLog&) = delete;
    QuietGsfLog& operator=(const QuietGsfLog&) = delete;
    ~QuietGsfLog() {
        const std::lock_guard<std::mutex> lock(Handlers());
        for (std::size_t i = 0; i < kDomains.size(); ++i) {
            g_log_remove_handler(kDomains[i], handlers_[i]);
        }
    }

  private:
    static std::mutex& Handlers() {
        static std::mutex handlers;
        return handlers;
    }
    static constexpr GLogLevelFlags kLevels =
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING);
    // gsf-infile.c logs without a domain of its own.
    static constexpr std::array<const char*, 4> kDomains = {"libgsf:msole", "libgsf:zip", "libgsf",
                                                            nullptr};
    static void Drop(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
    std::array<guint, 4> handlers_{};
};

inline void InitGsfOnce() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

}  // namespace xls::ole
