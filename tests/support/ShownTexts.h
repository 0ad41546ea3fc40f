#pragma once
// Every text the test doubles show (message boxes, phases, error lines, a
// command's output) passes here, so that one check covers all of them: a
// test registers the secrets no shown text may hold (the passwords of the
// server tests), and the test programs' main fails the test that showed one.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace shown {

struct State {
    std::mutex mutex;
    std::vector<std::string> secrets;
    std::vector<std::string> leaks;
};

inline State& TheState() {
    static State state;
    return state;
}

// A secret no shown text may hold, from now on in this process.
inline void Forbid(const std::string& secret) {
    State& s = TheState();
    const std::lock_guard<std::mutex> lock(s.mutex);
    for (const std::string& known : s.secrets) {
        if (known == secret)
            return;
    }
    s.secrets.push_back(secret);
}

inline void Note(std::string_view text) {
    State& s = TheState();
    const std::lock_guard<std::mutex> lock(s.mutex);
    for (const std::string& secret : s.secrets) {
        if (text.find(secret) != std::string_view::npos)
            s.leaks.emplace_back(text);
    }
}

// The texts that held a secret since the last call.
inline std::vector<std::string> TakeLeaks() {
    State& s = TheState();
    const std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<std::string> out;
    out.swap(s.leaks);
    return out;
}

}  // namespace shown
