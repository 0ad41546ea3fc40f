// FUZZ-SOURCES: workbook/*.cpp common/text/TextCodec.cpp
// FUZZ-PKGS: libgsf-1 pugixml
// FUZZ-OPTIONS: -rss_limit_mb=512 -malloc_limit_mb=64 -max_len=4096
//
// The tree parser against libxml2's stream, byte for byte: a document the
// tree parser reads must be one libxml2 reads, with the same events (names,
// namespaces, attributes, texts run together); one it refuses is left to
// libxml2. Then the same document cut at its "<r" rows into pieces (as the
// sheets of a workbook are) must give the stream's events too, or be
// refused.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSeeds.h"
#include "PlatformError.h"
#include "XmlPieces.h"
#include "XmlStream.h"
#include "XmlTranscript.h"
#include "XmlTree.h"

namespace {

// The stream's events, or false when libxml2 refuses the document.
bool ByStream(const std::string& document, std::vector<std::string>& lines) {
    try {
        lines = StreamTranscript(document);
    } catch (const PlatformError&) {
        return false;
    }
    return true;
}

std::optional<xls::xml::PieceMarkup> Rows(std::string_view, std::string_view name) {
    return xls::xml::PieceMarkup{"<s>", "</s></" + std::string(name) + ">", "<r", ""};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzseeds::WriteSeed("plain.xml",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<t:a xmlns:t=\"urn:t\" "
                         "xmlns=\"urn:d\"><s><r x=\"1\">a&amp;b</r><r t:y=\"&#x41;\">"
                         "<![CDATA[c]]></r><r/></s></t:a>");
    fuzzseeds::WriteSeed("names.xml",
                         "<a xmlns:p=\"urn:p\"><s><r p:q=\"1\" q=\"2\" xml:lang=\"ja\">"
                         "<b xmlns=\"urn:x\"><c xmlns=\"\"/></b>契約</r><r>\r\n</r></s></a>");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string document(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> stream;
    const bool streamRead = ByStream(document, stream);

    XmlTranscript whole;
    std::string bytes = document;
    xls::xml::TreeParser parser;
    bool treeRead = false;
    try {
        treeRead = parser.parse(bytes.data(), bytes.size(), whole);
    } catch (...) {
        std::abort();  // the handler throws nothing
    }
    whole.flush();
    if (treeRead && (!streamRead || whole.lines != stream))
        std::abort();

    // In pieces of a few sizes: the stream's events, or refused.
    for (const std::size_t piece : {std::size_t{1}, std::size_t{40}, size / 2 + 1}) {
        std::size_t at = 0;
        const xls::zip::ZipPackage::Fill fill = [&](std::uint8_t* out, std::size_t n) {
            n = std::min(n, document.size() - at);
            std::memcpy(out, document.data() + at, n);
            at += n;
            return n;
        };
        xls::xml::XmlPieces pieces(fill, piece, Rows, 1u << 16);
        xls::xml::Piece p;
        xls::xml::TreeParser inPieces;
        XmlTranscript t;
        bool read = true;
        while (read && pieces.next(p))
            read = inPieces.parse(p.bytes.data(), p.size, t);
        if (!read || pieces.failed())
            continue;
        t.flush();
        // The openings and closings of the cuts add start and end tags of
        // the root and of the rows' parent: compared without those.
        if (!streamRead || stream.empty() || t.lines.empty())
            std::abort();  // pieces read where the stream refused
        const std::string root = stream.front().substr(0, stream.front().find('}') + 1);
        const auto kept = [&](const std::vector<std::string>& lines) {
            std::vector<std::string> out;
            for (const std::string& line : lines) {
                if (line.rfind("<s {", 0) == 0 || line.rfind("</s {", 0) == 0 ||
                    line.rfind(root, 0) == 0 || line == "</" + root.substr(1))
                    continue;
                out.push_back(line);
            }
            return out;
        };
        if (kept(t.lines) != kept(stream))
            std::abort();
    }
    return 0;
}
