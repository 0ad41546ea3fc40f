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

// The attributes of one element, as libxml2 hands them over.
class Attributes {
  public:
    Attributes(const char** raw, int count) : raw_(raw), count_(count) {}
    int size() const { return count_; }
    Attribute operator[](int i) const {
        const char** a = raw_ + 5 * i;  // local name, prefix, URI, value, value end
        return {a[0], a[2] != nullptr ? std::string_view(a[2]) : std::string_view(),
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

}  // namespace xls::xml
