#pragma once
// A zip member read as a stream of XML events through libxml2's SAX2 push
// parser: no tree is built, so a sheet of a million cells costs its cells and
// nothing more. Element and attribute names are local names; handlers that
// need the namespace compare the URI. Names and URIs handed to a handler are
// the views its Dictionary gives for the same text.

#include <cstddef>
#include <cstdint>
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

// Names as views: the parser hands over element and attribute names and
// namespace URIs from its dictionary, each text always at the same address,
// millions of times; each is measured once, and a handler that looked its
// names up in the same dictionary (Dictionary) compares addresses alone.
class NameCache {
  public:
    explicit NameCache(void* dictionary = nullptr) : dictionary_(dictionary) {}
    std::string_view view(const char* name) {
        if (name == nullptr)
            return {};
        // The dictionary packs its texts a few bytes apart.
        const auto at = reinterpret_cast<std::uintptr_t>(name);
        Slot& slot = slots_[(at ^ (at >> 8)) % kSlots];
        if (slot.name == name)
            return slot.view;
        return miss(name, slot);
    }

  private:
    struct Slot {
        const char* name = nullptr;
        std::string_view view;
    };
    static constexpr std::size_t kSlots = 256;
    std::string_view miss(const char* name, Slot& slot);

    void* dictionary_;
    Slot slots_[kSlots];
};

// The attributes of one element, as libxml2 hands them over or as a list.
class Attributes {
  public:
    Attributes(const char** raw, int count, NameCache& names)
        : raw_(raw), count_(count), names_(&names) {}
    Attributes(const Attribute* list, int count) : count_(count), list_(list) {}
    int size() const { return count_; }
    Attribute operator[](int i) const {
        if (list_ != nullptr)
            return list_[i];
        const char** a = raw_ + 5 * i;  // local name, prefix, URI, value, value end
        return {names_->view(a[0]), names_->view(a[2]),
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
    const char** raw_ = nullptr;
    int count_;
    NameCache* names_ = nullptr;
    const Attribute* list_ = nullptr;
};

// The parser's dictionary: a name looked up here is the view (same address)
// the parser hands over for that name.
class Dictionary {
  public:
    virtual ~Dictionary() = default;
    virtual std::string_view operator()(std::string_view name) const = 0;
};

class Handler {
  public:
    virtual ~Handler() = default;
    // Before the first event: the names the handler compares by address.
    virtual void prepare(const Dictionary&) {}
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
