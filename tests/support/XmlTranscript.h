#pragma once
// An XML handler that writes every event as a line, to compare what two
// parsers hand over for the same document: texts run together as a handler
// gathers them (a parser may hand one text over in several calls), and a
// name the handler looked up ("cell", "urn:t") marked where the parser hands
// it over at another address than its dictionary's.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "XmlStream.h"

class XmlTranscript : public xls::xml::Handler {
  public:
    void prepare(const xls::xml::Dictionary& d) override {
        cell_ = d("cell");
        ns_ = d("urn:t");
    }
    void start(std::string_view name, std::string_view uri,
               const xls::xml::Attributes& a) override {
        flush();
        std::string line = "<" + std::string(name) + " {" + std::string(uri) + "}";
        for (int i = 0; i < a.size(); ++i) {
            line += " " + std::string(a[i].name) + "{" + std::string(a[i].uri) + "}=[" +
                    std::string(a[i].value) + "]";
        }
        if (name == "cell" && uri == "urn:t" &&
            (name.data() != cell_.data() || uri.data() != ns_.data()))
            line += " (not the dictionary's)";
        lines.push_back(line);
    }
    void end(std::string_view name, std::string_view uri) override {
        flush();
        lines.push_back("</" + std::string(name) + " {" + std::string(uri) + "}");
    }
    void text(std::string_view chars) override { pending_ += chars; }
    // The text gathered since the last tag, as a line of its own.
    void flush() {
        if (!pending_.empty())
            lines.push_back("'" + pending_ + "'");
        pending_.clear();
    }

    std::vector<std::string> lines;

  private:
    std::string pending_;
    std::string_view cell_, ns_;
};

// libxml2's stream's transcript of `document`; throws its PlatformError.
inline std::vector<std::string> StreamTranscript(const std::string& document) {
    XmlTranscript t;
    std::size_t at = 0;
    xls::xml::ParseFrom(
        [&](std::uint8_t* out, std::size_t size) {
            const std::size_t n = std::min(size, document.size() - at);
            std::memcpy(out, document.data() + at, n);
            at += n;
            return n;
        },
        "test.xml", t);
    t.flush();
    return t.lines;
}
