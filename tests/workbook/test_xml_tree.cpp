// The tree parser hands a handler the events libxml2's stream gives for the
// same document, or refuses the document (and libxml2 reads it instead).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PlatformError.h"
#include "XmlStream.h"
#include "XmlTranscript.h"
#include "XmlTree.h"

namespace {

bool ByTree(xls::xml::TreeParser& parser, std::string document, std::vector<std::string>& lines) {
    XmlTranscript t;
    const bool read = parser.parse(document.data(), document.size(), t);
    t.flush();
    lines = t.lines;
    return read;
}

TEST(XmlTree, SameEventsAsTheStream) {
    const char* const documents[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<t:a xmlns:t=\"urn:t\"><t:cell/></t:a>",
        "\xEF\xBB\xBF<a xmlns=\"urn:t\"><cell x=\"1\">v</cell></a>",
        // References, line ends in text and in attribute values.
        "<a xmlns=\"urn:t\"><cell v=\"&amp;&gt;&quot;&apos;&#x41;&#66;\">&lt;b&gt; "
        "&#12354;x</cell></a>",
        "<a xmlns=\"urn:t\"><cell v=\"1\r\n2\t3\n4&#10;5\">a\r\nb\rc\n</cell></a>",
        // Text before, between and after children; blanks only.
        "<a xmlns=\"urn:t\"><p>one<s c=\"2\"/>two<b> </b>three</p><p> </p><p>\n</p></a>",
        // Declarations on inner elements, the default namespace undone,
        // a prefix bound again, the xml prefix, unprefixed attributes.
        "<r xmlns:t=\"urn:t\" xmlns:u=\"urn:u\"><t:cell t:a=\"1\" b=\"2\" xml:lang=\"ja\">"
        "<x xmlns=\"urn:d\"><y/><z xmlns=\"\"/></x><t:n xmlns:t=\"urn:other\"><t:cell/></t:n>"
        "<t:cell u:a=\"3\"/></t:cell></r>",
        // Japanese, four-byte characters, comments (no event), a plain
        // declaration.
        "<?xml version='1.0' standalone='yes' ?><!-- a --><a xmlns=\"urn:t\"><!-- note --><cell>"
        "契約内訳情報 \xF0\x9F\x98\x80</cell></a><!-- b -->",
        "<a xmlns=\"urn:t\"/>",
    };
    xls::xml::TreeParser parser;  // one parser for all: its names outlive a document
    for (const char* document : documents) {
        std::vector<std::string> lines;
        ASSERT_TRUE(ByTree(parser, document, lines)) << document;
        EXPECT_EQ(lines, StreamTranscript(document)) << document;
    }
}

// Documents the tree parser would read otherwise than libxml2: refused,
// whether libxml2 reads them or reports them.
TEST(XmlTree, RefusesWhatItWouldReadOtherwise) {
    const char* const documents[] = {
        "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
        "<a>&e;</a>",
        "<a>&#1;</a>",
        "<a>&#xD800;</a>",
        "<a>&amp</a>",
        "<a>\x01</a>",
        "<a>\xC3</a>",
        "<a>\xC0\x80</a>",
        "<a>\xED\xA0\x80</a>",
        "<a>\xEF\xBF\xBF</a>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>",
        "<a x=\"1\" x=\"2\"/>",
        "<a xmlns:p=\"urn:p\" xmlns:q=\"urn:p\" p:x=\"1\" q:x=\"2\"/>",
        "<p:a/>",
        "<a q:x=\"1\"/>",
        "<a xmlns:p=\"\"/>",
        "<a><b></a></b>",
        "<a>",
        "<a/><b/>",
        "<a x=\"&lt;\"/>",
        "<a x=\"<\"/>",
        "<a>]]></a>",
        "<a><![CDATA[x]]></a>",
        "<a><?pi x?></a>",
        "<a><!-- a -- b --></a>",
        "<?xml version=\"1.0\"?><?pi x?><a/>",
        "<?xml version=\"1.1\"?><a/>",
        " <?xml version=\"1.0\"?><a/>",
        "x<a/>",
        "<a/>x",
        "<a/>>a>",
        "<a></a>x<!-- c -->",
        "<a></a><!-- c -- d -->",
        "<a xmlns:p:q=\"urn:p\"/>",
        "<a ::q=\"1\"/>",
        "<a:/>",
        "<a p:1=\"1\" xmlns:p=\"urn:p\"/>",
        "<a xmlns:1=\"urn:p\"/>",
        "",
    };
    xls::xml::TreeParser parser;
    for (const char* document : documents) {
        std::vector<std::string> lines;
        EXPECT_FALSE(ByTree(parser, document, lines)) << document;
    }
}

}  // namespace
