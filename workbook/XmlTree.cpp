#include "XmlTree.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "TextCodec.h"
#include "XmlMarkup.h"

namespace xls::xml {
namespace {

constexpr std::string_view kXmlNs = "http://www.w3.org/XML/1998/namespace";

bool AllowedChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The reference at `at` ('&'): its length, or 0 when it is not one the tree
// parser replaces as libxml2 does.
std::size_t ReferenceLength(const char* text, std::size_t size, std::size_t at) {
    std::size_t end = at + 1;
    while (end < size && end - at <= 12 && text[end] != ';')
        ++end;
    if (end >= size || text[end] != ';')
        return 0;
    const std::string_view name(text + at + 1, end - at - 1);
    if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos")
        return end - at + 1;
    if (name.size() < 2 || name[0] != '#')
        return 0;
    const bool hex = name[1] == 'x';
    std::uint32_t c = 0;
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 7)
        return 0;
    for (const char ch : digits) {
        int d = -1;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (hex && ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        else if (hex && ch >= 'A' && ch <= 'F')
            d = ch - 'A' + 10;
        if (d < 0)
            return 0;
        c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    return AllowedChar(c) ? end - at + 1 : 0;
}

// The end of the XML declaration at `at` when it is <?xml version="1.0"
// [encoding="UTF-8"] [standalone="yes"|"no"] ?> (either quotes, any case of
// the encoding's name), else 0.
std::size_t Declaration(std::string_view text, std::size_t at) {
    std::size_t i = at + 5;
    const auto blanks = [&] {
        const std::size_t from = i;
        while (i < text.size() &&
               (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
            ++i;
        return i > from;
    };
    const auto pair = [&](std::string_view name, auto&& valueOk) {
        const std::size_t from = i;
        if (!blanks() || text.compare(i, name.size(), name) != 0) {
            i = from;
            return false;
        }
        i += name.size();
        blanks();
        if (i >= text.size() || text[i] != '=') {
            i = from;
            return false;
        }
        ++i;
        blanks();
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) {
            i = from;
            return false;
        }
        const char quote = text[i];
        const std::size_t close = text.find(quote, i + 1);
        if (close == std::string_view::npos || !valueOk(text.substr(i + 1, close - i - 1))) {
            i = from;
            return false;
        }
        i = close + 1;
        return true;
    };
    if (!pair("version", [](std::string_view v) { return v == "1.0"; }))
        return 0;
    pair("encoding", [](std::string_view v) {
        std::string up(v);
        for (char& ch : up)
            ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
        return up == "UTF-8";
    });
    pair("standalone", [](std::string_view v) { return v == "yes" || v == "no"; });
    blanks();
    return text.compare(i, 2, "?>") == 0 ? i + 2 : 0;
}

// The bytes before the root element: no document type, no processing
// instruction, and UTF-8 if the declaration names an encoding.
bool PlainProlog(std::string_view text, std::size_t& root) {
    // A byte order mark, then nothing but blanks between the declaration
    // and comments.
    std::size_t at = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    for (;;) {
        at = text.find_first_not_of(" \t\r\n", at);
        if (at == std::string_view::npos || text[at] != '<' || at + 1 >= text.size())
            return false;
        if (text.compare(at, 5, "<?xml") == 0) {
            // The declaration, first and in the plain form writers give it.
            const std::size_t end = Declaration(text, at);
            if (at != (text.substr(0, 3) == "\xEF\xBB\xBF" ? 3u : 0u) || end == 0)
                return false;
            at = end;
        } else if (text.compare(at, 4, "<!--") == 0) {
            const std::size_t end = text.find("--", at + 4);
            if (end == std::string_view::npos || text.compare(end, 3, "-->") != 0)
                return false;  // unended, or "--" inside
            at = end + 3;
        } else if (text[at + 1] == '!' || text[at + 1] == '?') {
            return false;  // a document type, a processing instruction
        } else {
            root = at;
            return true;
        }
    }
}

// A comment's text as XML allows it: no "--" and no '-' at its end.
bool PlainComment(const char* text) {
    const std::string_view s(text);
    return s.find("--") == std::string_view::npos && (s.empty() || s.back() != '-');
}

// The bytes after the root element, whose start tag is at `root`: nothing
// but blanks and comments (the tree parser passes over text there, which
// libxml2 refuses).
bool PlainEpilogue(std::string_view text, std::size_t root) {
    std::size_t nameEnd = root + 1;
    while (nameEnd < text.size() && !NameEnds(text[nameEnd]))
        ++nameEnd;
    const std::string_view name = text.substr(root + 1, nameEnd - root - 1);
    const std::size_t startEnd = TagEnd(text, root);
    if (startEnd == std::string_view::npos)
        return false;
    const bool empty = text[startEnd - 1] == '/';
    for (;;) {
        const std::size_t last = text.find_last_not_of(" \t\r\n");
        if (empty && (last == std::string_view::npos || last <= startEnd))
            return last == startEnd;
        if (last == std::string_view::npos || text[last] != '>')
            return false;
        text = text.substr(0, last + 1);
        if (text.size() >= 7 && text.substr(text.size() - 3) == "-->") {
            const std::size_t open = text.rfind("<!--", text.size() - 4);
            if (open == std::string_view::npos || open < startEnd ||
                !PlainComment(std::string(text.substr(open + 4, text.size() - 7 - open)).c_str()))
                return false;
            text = text.substr(0, open);
            continue;
        }
        if (empty)
            return false;
        // The root's end tag: "</name", blanks, ">".
        const std::size_t close = text.find_last_not_of(" \t\r\n", text.size() - 2);
        return close != std::string_view::npos && close + 1 >= name.size() + 2 &&
               text.substr(close + 1 - name.size(), name.size()) == name &&
               text.substr(close - 1 - name.size(), 2) == "</";
    }
}

// Names as the handler's dictionary holds them: each text at one address
// for the table's life (nodes of a set do not move).
class NameTable final : public Dictionary {
  public:
    std::string_view operator()(std::string_view name) const override {
        return *names_.emplace(name).first;
    }

  private:
    mutable std::unordered_set<std::string> names_;
};

// A letter or '_': what a name, and the part after its colon, begins with
// (pugixml checks the first only).
bool NameStart(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_';
}

struct Resolved {
    std::string_view local, uri;
    bool declared = true;  // a plain name whose prefix is bound
};

std::size_t Measure(const char* s) {
    return std::strlen(s);
}

}  // namespace

bool PlainXmlText(const char* text, std::size_t size) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < size) {
#if defined(__SSE2__)
        const __m128i space = _mm_set1_epi8(0x20);
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i bracket = _mm_set1_epi8(']');
        while (i + 16 <= size) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            // Signed: bytes of 0x80 and more count as less than a blank.
            const auto mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpeq_epi8(v, amp)),
                             _mm_cmpeq_epi8(v, bracket))));
            if (mask != 0) {
                i += static_cast<std::size_t>(__builtin_ctz(mask));
                break;
            }
            i += 16;
        }
        if (i >= size)
            break;
#endif
        const unsigned char b = s[i];
        if (b >= 0x80) {
            // A malformed sequence reads as U+FFFD one byte on (U+FFFD
            // itself is three bytes).
            const std::size_t at = i;
            const char32_t cp = textcodec::NextCodePoint(std::string_view(text, size), i);
            if ((cp == textcodec::kReplacement && i == at + 1) || !AllowedChar(cp))
                return false;
        } else if (b == '&') {
            const std::size_t n = ReferenceLength(text, size, i);
            if (n == 0)
                return false;
            i += n;
        } else if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') {
            return false;
        } else if (b == ']' && i + 2 < size && s[i + 1] == ']' && s[i + 2] == '>') {
            return false;  // the end of a CDATA section, or text libxml2 refuses
        } else {
            ++i;
        }
    }
    return true;
}

struct TreeParser::State {
    pugi::xml_document document;
    NameTable names;
    std::string_view xmlNs = names(kXmlNs);

    // Prefixes in scope, the innermost last; "" the default namespace.
    struct Binding {
        std::string prefix;
        std::string_view uri;
    };
    std::vector<Binding> bindings;
    std::vector<int> bound;      // bindings added by each open element
    std::vector<Resolved> open;  // the names of the open elements

    // Qualified names resolved with the bindings in scope: markup repeats a
    // few dozen names millions of times.
    struct Slot {
        std::string qname;
        std::size_t size = 0;
        std::uint64_t head = 0, tail = 0;
        Resolved resolved;
        bool used = false;
    };
    static constexpr std::size_t kSlots = 512;
    std::array<Slot, kSlots> elementSlots, attributeSlots;
    std::vector<Attribute> attributes;
    std::vector<std::pair<const char*, const char*>> raw;  // name, value

    void forget() {
        for (auto* slots : {&elementSlots, &attributeSlots}) {
            for (Slot& slot : *slots)
                slot.used = false;
        }
    }

    std::string_view uriOf(std::string_view prefix, bool& declared) const {
        if (prefix == "xml")
            return xmlNs;
        for (auto it = bindings.rbegin(); it != bindings.rend(); ++it) {
            if (it->prefix == prefix)
                return it->uri;
        }
        declared = prefix.empty();
        return {};
    }

    const Resolved& resolve(const char* qname, bool attribute) {
        // A name is known by its length and its first and last eight bytes,
        // which for most names are all of it.
        const std::size_t size = Measure(qname);
        std::uint64_t head = 0, tail = 0;
        if (size >= 8) {
            std::memcpy(&head, qname, 8);
            std::memcpy(&tail, qname + size - 8, 8);
        } else if (size >= 4) {
            std::uint32_t first = 0, last = 0;
            std::memcpy(&first, qname, 4);
            std::memcpy(&last, qname + size - 4, 4);
            head = first | std::uint64_t{last} << 32;
        } else {
            for (std::size_t i = 0; i < size; ++i)
                head |= std::uint64_t{static_cast<unsigned char>(qname[i])} << (8 * i);
        }
        const std::uint64_t hash = (head * 0x9E3779B97F4A7C15ull) ^ (tail * 0xC2B2AE3D27D4EB4Full);
        Slot& slot = (attribute ? attributeSlots : elementSlots)[(hash ^ size) >> 55];
        if (slot.used && slot.size == size && slot.head == head && slot.tail == tail &&
            (size <= 16 || std::memcmp(slot.qname.data() + 8, qname + 8, size - 16) == 0))
            return slot.resolved;
        slot.size = size;
        slot.head = head;
        slot.tail = tail;
        return fill(slot, std::string_view(qname, size), attribute);
    }

    // A name not met since the bindings last changed.
    [[gnu::noinline]] const Resolved& fill(Slot& slot, std::string_view name, bool attribute) {
        Resolved resolved;
        const std::size_t colon = name.find(':');
        // Names libxml2 reads as the tree parser does: ASCII, one colon at
        // most, between a prefix and a local name.
        const bool plain =
            std::all_of(name.begin(), name.end(), [](char ch) { return (ch & 0x80) == 0; }) &&
            (colon == std::string_view::npos ||
             (colon > 0 && colon + 1 < name.size() && NameStart(name[colon + 1]) &&
              name.find(':', colon + 1) == std::string_view::npos));
        if (!plain) {
            resolved.declared = false;
        } else if (colon == std::string_view::npos) {
            resolved.local = names(name);
            // An attribute without a prefix is in no namespace.
            if (!attribute)
                resolved.uri = uriOf("", resolved.declared);
        } else {
            resolved.local = names(name.substr(colon + 1));
            resolved.uri = uriOf(name.substr(0, colon), resolved.declared);
        }
        slot.qname.assign(name);
        slot.resolved = resolved;
        slot.used = true;
        return slot.resolved;
    }

    // A namespace declaration's prefix ("" for the default namespace), or
    // nullptr for any other attribute.
    static const char* DeclaredPrefix(const char* name) {
        if (name[0] != 'x' || std::memcmp(name, "xmlns", 5) != 0)
            return nullptr;
        if (name[5] == '\0')
            return name + 5;
        return name[5] == ':' ? name + 6 : nullptr;
    }

    // The element's namespace declarations taken into scope, its other
    // attributes noted; false on a declaration libxml2 refuses.
    bool declare(const pugi::xml_node& element) {
        int added = 0;
        raw.clear();
        for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
            const char* name = a.name();
            const char* prefix = DeclaredPrefix(name);
            if (prefix == nullptr) {
                raw.push_back({name, a.value()});
                continue;
            }
            const std::string_view uri(a.value());
            const std::string_view p(prefix);
            if ((name[5] == ':' && (p.empty() || !NameStart(p[0]) || uri.empty())) ||
                p == "xmlns" || p == "xml" || p.find(':') != std::string_view::npos ||
                std::any_of(p.begin(), p.end(), [](char ch) { return (ch & 0x80) != 0; }) ||
                uri.find('<') != std::string_view::npos)
                return false;
            bindings.push_back({std::string(p), names(uri)});
            ++added;
        }
        bound.push_back(added);
        if (added > 0)
            forget();
        return true;
    }

    void undeclare() {
        const int added = bound.back();
        bound.pop_back();
        if (added > 0) {
            bindings.resize(bindings.size() - static_cast<std::size_t>(added));
            forget();
        }
    }

    bool enter(const pugi::xml_node& element, Handler& handler) {
        if (!declare(element))
            return false;
        const Resolved name = resolve(element.name(), false);
        if (!name.declared)
            return false;
        attributes.clear();
        for (const auto& [qname, value] : raw) {
            const Resolved r = resolve(qname, true);
            if (!r.declared)
                return false;
            for (const Attribute& seen : attributes) {
                if (seen.name.data() == r.local.data() && seen.uri.data() == r.uri.data())
                    return false;
            }
            // A '<' in a value was written "&lt;", or stood there bare,
            // which libxml2 refuses: the tree cannot tell which.
            std::size_t length = 0;
            for (; value[length] != '\0'; ++length) {
                if (value[length] == '<')
                    return false;
            }
            attributes.push_back({r.local, r.uri, std::string_view(value, length)});
        }
        open.push_back(name);
        handler.start(name.local, name.uri,
                      Attributes(attributes.data(), static_cast<int>(attributes.size())));
        // Text before the element's first child is kept in the element.
        const char* text = element.value();
        if (*text != '\0')
            handler.text(std::string_view(text, Measure(text)));
        return true;
    }

    void leave(Handler& handler) {
        const Resolved name = open.back();
        open.pop_back();
        handler.end(name.local, name.uri);
        undeclare();
    }

    bool walk(Handler& handler) {
        bindings.clear();
        bound.clear();
        open.clear();
        forget();
        int elements = 0;
        for (const pugi::xml_node top : document.children()) {
            if (top.type() == pugi::node_element)
                ++elements;
            else if (top.type() != pugi::node_comment || !PlainComment(top.value()))
                return false;  // text or an instruction beside the root element
        }
        if (elements != 1)
            return false;
        pugi::xml_node node = document.document_element();
        for (;;) {
            bool descend = false;
            switch (node.type()) {
                case pugi::node_element:
                    if (!enter(node, handler))
                        return false;
                    descend = true;
                    break;
                case pugi::node_pcdata:
                case pugi::node_cdata: {
                    const char* text = node.value();
                    handler.text(std::string_view(text, Measure(text)));
                    break;
                }
                case pugi::node_comment:
                    if (!PlainComment(node.value()))
                        return false;
                    break;
                default:
                    return false;  // a processing instruction: libxml2 checks its name
            }
            if (descend && node.first_child()) {
                node = node.first_child();
                continue;
            }
            if (descend)
                leave(handler);
            while (!node.next_sibling()) {
                node = node.parent();
                if (!node || node.type() == pugi::node_document)
                    return true;
                leave(handler);
            }
            node = node.next_sibling();
        }
    }
};

TreeParser::TreeParser() : state_(std::make_unique<State>()) {}

TreeParser::~TreeParser() = default;

bool TreeParser::parse(char* bytes, std::size_t size, Handler& handler) {
    std::size_t root = 0;
    if (!PlainProlog(std::string_view(bytes, size), root) ||
        !PlainEpilogue(std::string_view(bytes, size), root) || !PlainXmlText(bytes, size))
        return false;
    // Comments and instructions are kept only to be checked as libxml2
    // checks them.
    constexpr unsigned kOptions = pugi::parse_escapes | pugi::parse_eol |
                                  pugi::parse_wconv_attribute | pugi::parse_ws_pcdata |
                                  pugi::parse_cdata | pugi::parse_embed_pcdata |
                                  pugi::parse_comments | pugi::parse_pi;
    const pugi::xml_parse_result result =
        state_->document.load_buffer_inplace(bytes, size, kOptions, pugi::encoding_utf8);
    if (!result)
        return false;
    handler.prepare(state_->names);
    return state_->walk(handler);
}

bool ParseMemberInPieces(const zip::ZipPackage& package, const std::string& member,
                         Handler& handler, std::size_t pieceBytes, const MarkupOf& markup) {
    return package.pull(member, [&](const zip::ZipPackage::Fill& fill) {
        TreeParser parser;
        std::string spare;  // the string of the piece before, filled again
        XmlPieces pieces(fill, pieceBytes, markup, 64u << 20,
                         [&spare] { return std::move(spare); });
        Piece piece;
        while (pieces.next(piece)) {
            if (!parser.parse(piece.bytes.data(), piece.size, handler))
                throw TreeRefused{};
            spare = std::move(piece.bytes);
            piece = Piece();
        }
        if (pieces.failed())
            throw TreeRefused{};
    });
}

}  // namespace xls::xml
