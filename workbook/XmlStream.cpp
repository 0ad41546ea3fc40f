#include "XmlStream.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <exception>
#include <memory>

#include "BiffReaderErrors.h"

namespace xls::xml {
namespace {

struct Session {
    explicit Session(Handler& h) : handler(h) {}
    Handler& handler;
    xmlParserCtxtPtr context = nullptr;
    std::exception_ptr failure;
    std::string firstError;
    int errorLine = 0;
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

void OnStart(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
             const xmlChar**, int count, int, const xmlChar** attributes) {
    Guarded(data, [&](Handler& h) {
        h.start(Str(localname), uri != nullptr ? std::string_view(Str(uri)) : std::string_view(),
                Attributes(reinterpret_cast<const char**>(attributes), count));
    });
}

void OnEnd(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri) {
    Guarded(data, [&](Handler& h) {
        h.end(Str(localname), uri != nullptr ? std::string_view(Str(uri)) : std::string_view());
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

bool ParseMember(const zip::ZipPackage& package, const std::string& member, Handler& handler) {
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = OnStart;
    sax.endElementNs = OnEnd;
    sax.characters = OnText;
    sax.cdataBlock = OnText;
    sax.serror = OnError;
    // No document type, no entities of the document's own, nothing from the network.
    Session session(handler);
    std::unique_ptr<xmlParserCtxt, ContextFree> context(
        xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, member.c_str()));
    if (!context)
        throw std::bad_alloc();
    session.context = context.get();
    context->_private = &session;
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET);
    // Callbacks receive the context as their user data.
    context->userData = context.get();
    bool stopped = false;
    const auto fail = [&] {
        if (session.failure)
            std::rethrow_exception(session.failure);
        std::string detail = member + " の XML が不正です";
        if (!session.firstError.empty())
            detail +=
                "（" + std::to_string(session.errorLine) + " 行目: " + session.firstError + "）";
        biff::ThrowDamaged(detail);
    };
    const bool found = package.read(member, [&](const std::uint8_t* bytes, std::size_t size) {
        if (stopped)
            return;
        const int rc = xmlParseChunk(context.get(), reinterpret_cast<const char*>(bytes),
                                     static_cast<int>(size), 0);
        if (rc != 0 || session.failure || !context->wellFormed) {
            stopped = true;
            fail();
        }
    });
    if (!found)
        return false;
    if (xmlParseChunk(context.get(), nullptr, 0, 1) != 0 || session.failure || !context->wellFormed)
        fail();
    return true;
}

}  // namespace xls::xml
