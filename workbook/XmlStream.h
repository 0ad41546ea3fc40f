#pragma once
// A zip member read as a stream of XML events through libxml2's SAX2 push
// parser: no tree is built, so a sheet of a million cells costs its cells and
// nothing more. Element and attribute names are local names; handlers that
// need the namespace compare the URI.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "ZipPackage.h"

namespace xls::xml {

struct Attribute {
    std::string_view name;
    std::string_view uri;
    std::string_view value;
};

// Namespace URIs as views: a parser hands over the same few URIs, each
// always at the same address, millions of times; their lengths are measured
// once.
class UriCache {
  public:
    std::string_view view(const char* uri) {
        if (uri == nullptr)
            return {};
        for (std::size_t i = 0; i < used_; ++i) {
            if (known_[i].data() == uri)
                return known_[i];
        }
        const std::string_view view(uri);
        if (used_ < kSize)
            known_[used_++] = view;
        return view;
    }

  private:
    static constexpr std::size_t kSize = 8;
    std::string_view known_[kSize];
    std::size_t used_ = 0;
};

// The attributes of one element, as libxml2 hands them over.
class Attributes {
  public:
    Attributes(const char** raw, int count, UriCache& uris)
        : raw_(raw), count_(count), uris_(&uris) {}
    int size() const { return count_; }
    Attribute operator[](int i) const {
        const char** a = raw_ + 5 * i;  // local name, prefix, URI, value, value end
        return {a[0], uris_->view(a[2]),
                std::string_view(a[3], static_cast<std::size_t>(a[4] - a[3]))};
    }
    // The value of the attribute `name` (of namespace `uri` when given).
    bool find(std::string_view name, std::string_view& value, std::string_view uri = {}) const {
        for (int i = 0; i < count_; ++i) {
            const Attribute a = (*this)[i];
            if (a.name == name && (uri.empty() || a.uri == uri)) {
                value = a.value;
                return true;
            }
        }
        return false;
    }

  private:
    const char** raw_;
    int count_;
    UriCache* uris_;
};

class Handler {
  public:
    virtual ~Handler() = default;
    virtual void start(std::string_view name, std::string_view uri,
                       const Attributes& attributes) = 0;
    virtual void end(std::string_view name, std::string_view uri) = 0;
    virtual void text(std::string_view) {}
};

// Parses the member through `handler`; false when the package has no such
// member. A document that is not well-formed throws PlatformError naming the
// member and line; an exception of the handler stops the parse and is thrown
// again here.
bool ParseMember(const zip::ZipPackage& package, const std::string& member, Handler& handler);
// The same for a document handed over by `fill` (`member` names it in messages).
void ParseFrom(const zip::ZipPackage::Fill& fill, const std::string& member, Handler& handler);

}  // namespace xls::xml
