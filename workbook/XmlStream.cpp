#include "XmlStream.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "BiffReaderErrors.h"

namespace xls::xml {

namespace {

std::string_view Looked(xmlDictPtr dictionary, std::string_view name) {
    const xmlChar* found = xmlDictLookup(dictionary, reinterpret_cast<const xmlChar*>(name.data()),
                                         static_cast<int>(name.size()));
    if (found == nullptr)
        throw std::bad_alloc();
    return {reinterpret_cast<const char*>(found), name.size()};
}

class LibxmlDictionary final : public Dictionary {
  public:
    explicit LibxmlDictionary(xmlDictPtr dictionary) : dictionary_(dictionary) {}
    std::string_view operator()(std::string_view name) const override {
        return Looked(dictionary_, name);
    }

  private:
    xmlDictPtr dictionary_;
};

struct Session {
    Session(Handler& h, xmlDictPtr dictionary) : handler(h), names(dictionary) {}
    Handler& handler;
    xmlParserCtxtPtr context = nullptr;
    std::exception_ptr failure;
    std::string firstError;
    int errorLine = 0;
    NameCache names;
    std::vector<std::string> values;  // attribute values undone (Unescaped)
    std::vector<Attribute> list;
};

Session& Of(void* data) {
    return *static_cast<Session*>(static_cast<xmlParserCtxtPtr>(data)->_private);
}

// Handler exceptions must not cross libxml2's C frames: they are kept and
// the parser is stopped.
template <typename F>
void Guarded(void* data, F&& call) {
    Session& session = Of(data);
    if (session.failure)
        return;
    try {
        call(session.handler);
    } catch (...) {
        session.failure = std::current_exception();
        xmlStopParser(session.context);
    }
}

const char* Str(const xmlChar* s) {
    return reinterpret_cast<const char*>(s);
}

// Without entity substitution (which would also fetch external entities)
// libxml2 hands over every '&' of an attribute value as "&#38;", for a tree
// builder to undo; a value is undone here, so that "A&amp;B" reads "A&B".
bool Unescaped(const Attributes& raw, Session& session) {
    bool any = false;
    for (int i = 0; i < raw.size() && !any; ++i)
        any = raw[i].value.find('&') != std::string_view::npos;
    if (!any)
        return false;
    session.values.resize(static_cast<std::size_t>(raw.size()));
    session.list.clear();
    for (int i = 0; i < raw.size(); ++i) {
        Attribute a = raw[i];
        std::string& value = session.values[static_cast<std::size_t>(i)];
        value.clear();
        for (std::size_t at = 0;;) {
            const std::size_t amp = a.value.find("&#38;", at);
            value.append(a.value.substr(at, amp - at));
            if (amp == std::string_view::npos)
                break;
            value.push_back('&');
            at = amp + 5;
        }
        a.value = value;
        session.list.push_back(a);
    }
    return true;
}

void OnStart(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
             const xmlChar**, int count, int, const xmlChar** attributes) {
    Session& session = Of(data);
    Guarded(data, [&](Handler& h) {
        const Attributes raw(reinterpret_cast<const char**>(attributes), count, session.names);
        const bool unescaped = Unescaped(raw, session);
        h.start(session.names.view(Str(localname)), session.names.view(Str(uri)),
                unescaped ? Attributes(session.list.data(), count) : raw);
    });
}

void OnEnd(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri) {
    Session& session = Of(data);
    Guarded(data, [&](Handler& h) {
        h.end(session.names.view(Str(localname)), session.names.view(Str(uri)));
    });
}

void OnText(void* data, const xmlChar* chars, int length) {
    Guarded(data, [&](Handler& h) {
        h.text(std::string_view(Str(chars), static_cast<std::size_t>(length)));
    });
}

void OnError(void* data, xmlErrorPtr error) {
    if (data == nullptr || error == nullptr)
        return;
    Session& session = Of(data);
    if (session.firstError.empty() && error->message != nullptr) {
        session.firstError = error->message;
        while (!session.firstError.empty() &&
               (session.firstError.back() == '\n' || session.firstError.back() == ' '))
            session.firstError.pop_back();
        session.errorLine = error->line;
    }
}

struct ContextFree {
    void operator()(xmlParserCtxtPtr context) const {
        if (context->myDoc != nullptr)
            xmlFreeDoc(context->myDoc);
        xmlFreeParserCtxt(context);
    }
};

}  // namespace

std::string_view NameCache::miss(const char* name, Slot& slot) {
    // libxml2 takes names from its dictionary; one that is not there (or no
    // dictionary) is looked up each time, as its address may be reused.
    auto* dictionary = static_cast<xmlDictPtr>(dictionary_);
    if (dictionary == nullptr)
        return name;
    if (xmlDictOwns(dictionary, reinterpret_cast<const xmlChar*>(name)) != 1)
        return Looked(dictionary, name);
    slot.name = name;
    slot.view = name;
    return slot.view;
}

void ParseFrom(const zip::ZipPackage::Fill& fill, const std::string& member, Handler& handler) {
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = OnStart;
    sax.endElementNs = OnEnd;
    sax.characters = OnText;
    sax.cdataBlock = OnText;
    sax.serror = OnError;
    // No document type, no entities of the document's own, nothing from the
    // network. The parser pulls the member as it goes: faster than pushing
    // pieces into it, which makes it look ahead for the end of every tag.
    struct Source {
        const zip::ZipPackage::Fill& fill;
        std::exception_ptr failure;
    } source{fill, nullptr};
    const auto read = [](void* context, char* buffer, int size) -> int {
        auto& s = *static_cast<Source*>(context);
        try {
            return static_cast<int>(
                s.fill(reinterpret_cast<std::uint8_t*>(buffer), static_cast<std::size_t>(size)));
        } catch (...) {
            s.failure = std::current_exception();
            return -1;
        }
    };
    std::unique_ptr<xmlParserCtxt, ContextFree> context(
        xmlCreateIOParserCtxt(&sax, nullptr, read, nullptr, &source, XML_CHAR_ENCODING_NONE));
    if (!context)
        throw std::bad_alloc();
    Session session(handler, context->dict);
    session.context = context.get();
    context->_private = &session;
    context->userData = context.get();
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET);
    handler.prepare(LibxmlDictionary(context->dict));
    const int rc = xmlParseDocument(context.get());
    if (source.failure)
        std::rethrow_exception(source.failure);
    if (session.failure)
        std::rethrow_exception(session.failure);
    if (rc != 0 || !context->wellFormed) {
        std::string detail = member + " の XML が不正です";
        if (!session.firstError.empty())
            detail +=
                "（" + std::to_string(session.errorLine) + " 行目: " + session.firstError + "）";
        biff::ThrowDamaged(detail);
    }
}

bool ParseMember(const zip::ZipPackage& package, const std::string& member, Handler& handler) {
    return package.pull(
        member, [&](const zip::ZipPackage::Fill& fill) { ParseFrom(fill, member, handler); });
}

}  // namespace xls::xml
