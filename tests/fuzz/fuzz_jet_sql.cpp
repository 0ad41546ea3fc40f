// clang-format off
// FUZZ-SOURCES: db/Database.cpp db/Statement.cpp db/WriteCombiningVfs.cpp db/PgDatabase.cpp db/DatabaseName.cpp db/DatabaseSecrets.cpp db/ServerTls.cpp db/JetSql.cpp db/FieldValue.cpp common/text/NumberText.cpp
// FUZZ-PKGS: sqlite3 libpq
// clang-format on
//
// The Jet SQL translation over arbitrary text: no crash, text without "\" or
// MOD passes unchanged, and translating twice changes nothing more; the
// server's dialect and the schema translation never crash either.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string jet(reinterpret_cast<const char*>(data), size);
    const std::string once = TranslateJetSql(jet);
    bool candidate = jet.find('\\') != std::string::npos;
    for (std::size_t i = 0; !candidate && i + 3 <= jet.size(); ++i) {
        candidate =
            (jet[i] | 0x20) == 'm' && (jet[i + 1] | 0x20) == 'o' && (jet[i + 2] | 0x20) == 'd';
    }
    if (!candidate && once != jet)
        std::abort();
    if (TranslateJetSql(once) != once)
        std::abort();
    (void)TranslateJetSql(jet, SqlDialect::PostgreSQL);
    (void)TranslateSchemaSql(jet, SqlDialect::PostgreSQL);
    return 0;
}
