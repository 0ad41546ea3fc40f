#include "JetSql.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

// Whole number nearest to x, halves to the even neighbour, the way Jet
// rounds the operands of "\" and MOD.
bool RoundOperand(double x, std::int64_t& out) {
    if (!std::isfinite(x))
        return false;
    double r = std::round(x);
    if (std::fabs(x - std::trunc(x)) == 0.5)
        r = 2.0 * std::round(x / 2.0);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (r >= 9223372036854775808.0 || r < -9223372036854775808.0)
        return false;
    out = static_cast<std::int64_t>(r);
    return true;
}

enum class ArgResult { Ok, Null, Bad };

ArgResult ReadOperand(sqlite3_value* v, std::int64_t& out) {
    switch (sqlite3_value_numeric_type(v)) {
        case SQLITE_NULL:
            return ArgResult::Null;
        case SQLITE_INTEGER:
            out = sqlite3_value_int64(v);
            return ArgResult::Ok;
        case SQLITE_FLOAT:
            return RoundOperand(sqlite3_value_double(v), out) ? ArgResult::Ok : ArgResult::Bad;
        default:
            return ArgResult::Bad;  // text that is no number, blobs
    }
}

// Shared body of jet_idiv and jet_mod: Null in gives Null out, like every
// Jet arithmetic operator.
template <typename Op>
void JetIntegerOp(sqlite3_context* ctx, sqlite3_value** argv, Op op) {
    std::int64_t a = 0;
    std::int64_t b = 0;
    const ArgResult ra = ReadOperand(argv[0], a);
    const ArgResult rb = ReadOperand(argv[1], b);
    if (ra == ArgResult::Null || rb == ArgResult::Null) {
        sqlite3_result_null(ctx);
        return;
    }
    if (ra == ArgResult::Bad || rb == ArgResult::Bad) {
        sqlite3_result_error(ctx, "整数除算の値が数値ではないか、大きすぎます", -1);
        return;
    }
    if (b == 0) {
        sqlite3_result_error(ctx, "0 で除算しました", -1);
        return;
    }
    if (a == std::numeric_limits<std::int64_t>::min() && b == -1) {
        sqlite3_result_error(ctx, "オーバーフローしました", -1);
        return;
    }
    sqlite3_result_int64(ctx, op(a, b));
}

}  // namespace

// C++ division truncates toward zero and % takes the dividend's sign: both
// are exactly Jet's "\" and MOD once the operands are whole numbers.
void JetIdiv(sqlite3_context* ctx, int, sqlite3_value** argv) {
    JetIntegerOp(ctx, argv, [](std::int64_t a, std::int64_t b) { return a / b; });
}
void JetMod(sqlite3_context* ctx, int, sqlite3_value** argv) {
    JetIntegerOp(ctx, argv, [](std::int64_t a, std::int64_t b) { return a % b; });
}

// SQLite parses everything the tools send except the integer division "\"
// and MOD. A small tokenizer finds them outside string literals and bracketed
// names; each level of parentheses is cut into items, and every run of
// operands joined by "*", "/", "\" and MOD (the operators that bind tighter
// than "+" and "-" in Jet, in that order of precedence) is rewritten into
// calls of jet_idiv and jet_mod. Everything else is passed on untouched.

namespace {

enum class TokKind { Space, Word, Quoted, Number, String, LParen, RParen, Punct };

struct Token {
    TokKind kind;
    std::string text;
};

bool IsWordStart(unsigned char c) {
    return c >= 0x80 || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsWordChar(unsigned char c) {
    return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$';
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

std::vector<Token> Tokenize(const std::string& s) {
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto closeQuote = [&](char q) {
        std::size_t j = i + 1;
        while (j < n) {
            if (s[j] == q) {
                if (q != ']' && j + 1 < n && s[j + 1] == q) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;  // unterminated: SQLite reports it
    };
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t j = i + 1;
        TokKind kind = TokKind::Punct;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            while (j < n && (s[j] == ' ' || s[j] == '\t' || s[j] == '\r' || s[j] == '\n'))
                ++j;
            kind = TokKind::Space;
        } else if (c == '\'' || c == '"') {
            j = closeQuote(static_cast<char>(c));
            kind = TokKind::String;
        } else if (c == '[') {
            j = closeQuote(']');
            kind = TokKind::Quoted;
        } else if (c == '`') {
            j = closeQuote('`');
            kind = TokKind::Quoted;
        } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(s[i + 1]) &&
                                  (out.empty() || (out.back().kind != TokKind::Word &&
                                                   out.back().kind != TokKind::Quoted)))) {
            while (j < n && IsDigit(s[j]))
                ++j;
            if (c != '.' && j < n && s[j] == '.') {
                ++j;
                while (j < n && IsDigit(s[j]))
                    ++j;
            }
            if (j < n && (s[j] == 'e' || s[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < n && (s[k] == '+' || s[k] == '-'))
                    ++k;
                if (k < n && IsDigit(s[k])) {
                    while (k < n && IsDigit(s[k]))
                        ++k;
                    j = k;
                }
            }
            kind = TokKind::Number;
            // A name that begins with a digit, such as 1回分の金額.
            if (j < n && IsWordStart(static_cast<unsigned char>(s[j]))) {
                while (j < n && IsWordChar(static_cast<unsigned char>(s[j])))
                    ++j;
                kind = TokKind::Word;
            }
        } else if (IsWordStart(c)) {
            while (j < n && IsWordChar(static_cast<unsigned char>(s[j])))
                ++j;
            kind = TokKind::Word;
        } else if (c == '(') {
            kind = TokKind::LParen;
        } else if (c == ')') {
            kind = TokKind::RParen;
        }
        out.push_back({kind, s.substr(i, j - i)});
        i = j;
    }
    return out;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        char x = a[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (x != b[i])
            return false;
    }
    return true;
}

// Words that end an operand run; any other word is a name or a function.
bool IsKeyword(const std::string& w) {
    static const char* const kWords[] = {
        "SELECT", "FROM",     "WHERE",       "AND",     "OR",     "NOT",    "XOR",   "EQV",
        "IMP",    "ON",       "AS",          "JOIN",    "LEFT",   "RIGHT",  "INNER", "OUTER",
        "FULL",   "CROSS",    "UNION",       "ALL",     "ORDER",  "BY",     "GROUP", "HAVING",
        "IS",     "IN",       "LIKE",        "BETWEEN", "CASE",   "WHEN",   "THEN",  "ELSE",
        "END",    "DISTINCT", "DISTINCTROW", "TOP",     "ASC",    "DESC",   "SET",   "UPDATE",
        "INSERT", "INTO",     "VALUES",      "DELETE",  "EXISTS", "ESCAPE", "LIMIT", "MOD"};
    for (const char* k : kWords) {
        if (EqualsNoCase(w, k))
            return true;
    }
    return false;
}

enum class ItemKind { Primary, MulOp, IdivOp, ModOp, Other };

struct Item {
    ItemKind kind;
    std::string lead;  // blanks before the item
    std::string text;
};

class JetTranslator {
  public:
    JetTranslator(std::vector<Token> toks, SqlDialect dialect)
        : t_(std::move(toks)), dialect_(dialect) {
        // Matching parentheses, found once; an unmatched one is plain text.
        match_.assign(t_.size(), npos);
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < t_.size(); ++i) {
            if (t_[i].kind == TokKind::LParen) {
                open.push_back(i);
            } else if (t_[i].kind == TokKind::RParen && !open.empty()) {
                match_[open.back()] = i;
                match_[i] = open.back();
                open.pop_back();
            }
        }
    }

    std::string run() { return level(0, t_.size()); }

  private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    bool isOpenGroup(std::size_t i, std::size_t end) const {
        return i < end && t_[i].kind == TokKind::LParen && match_[i] != npos && match_[i] < end;
    }

    // Reads one operand starting at token i (no blanks skipped); returns the
    // index after it, or npos when token i starts no operand.
    std::size_t primary(std::size_t i, std::size_t end, std::string& text) {
        const Token& tk = t_[i];
        if (isOpenGroup(i, end)) {
            text = "(" + level(i + 1, match_[i]) + ")";
            return match_[i] + 1;
        }
        if (tk.kind == TokKind::Number || tk.kind == TokKind::String) {
            text = tk.text;
            return i + 1;
        }
        if (tk.kind == TokKind::Word && IsKeyword(tk.text))
            return npos;
        if (tk.kind != TokKind::Word && tk.kind != TokKind::Quoted)
            return npos;
        // Qualified name: a.b, [a].[b], a.*
        text = tk.text;
        std::size_t j = i + 1;
        while (j + 1 < end && t_[j].kind == TokKind::Punct && t_[j].text == "." &&
               (t_[j + 1].kind == TokKind::Word || t_[j + 1].kind == TokKind::Quoted ||
                (t_[j + 1].kind == TokKind::Punct && t_[j + 1].text == "*"))) {
            text += "." + t_[j + 1].text;
            j += 2;
        }
        // Function call.
        if (isOpenGroup(j, end)) {
            text += "(" + level(j + 1, match_[j]) + ")";
            j = match_[j] + 1;
        }
        return j;
    }

    std::string level(std::size_t begin, std::size_t end) {
        std::vector<Item> items;
        std::string lead;
        bool expectOperand = true;
        std::size_t i = begin;
        while (i < end) {
            const Token& tk = t_[i];
            if (tk.kind == TokKind::Space) {
                lead += tk.text;
                ++i;
                continue;
            }
            std::string text;
            if (!expectOperand && tk.kind == TokKind::Punct && (tk.text == "*" || tk.text == "/")) {
                items.push_back({ItemKind::MulOp, lead, tk.text});
                expectOperand = true;
                ++i;
            } else if (!expectOperand && tk.kind == TokKind::Punct && tk.text == "\\") {
                items.push_back({ItemKind::IdivOp, lead, tk.text});
                expectOperand = true;
                ++i;
            } else if (!expectOperand && tk.kind == TokKind::Word && EqualsNoCase(tk.text, "MOD")) {
                items.push_back({ItemKind::ModOp, lead, tk.text});
                expectOperand = true;
                ++i;
            } else if (expectOperand && tk.kind == TokKind::Punct &&
                       (tk.text == "-" || tk.text == "+")) {
                // Signs of an operand ("- -x" too): bind tighter than every
                // operator here.
                std::size_t j = i + 1;
                std::string gap;
                while (j < end && (t_[j].kind == TokKind::Space ||
                                   (t_[j].kind == TokKind::Punct &&
                                    (t_[j].text == "-" || t_[j].text == "+")))) {
                    gap += t_[j++].text;
                }
                std::string operand;
                const std::size_t next = j < end ? primary(j, end, operand) : npos;
                if (next == npos) {
                    items.push_back({ItemKind::Other, lead, tk.text});
                    ++i;
                } else {
                    items.push_back({ItemKind::Primary, lead, tk.text + gap + operand});
                    expectOperand = false;
                    i = next;
                }
            } else if (const std::size_t next = primary(i, end, text); next != npos) {
                items.push_back({ItemKind::Primary, lead, text});
                expectOperand = false;
                i = next;
            } else {
                items.push_back({ItemKind::Other, lead, tk.text});
                expectOperand = true;
                ++i;
            }
            lead.clear();
        }

        std::string out;
        for (std::size_t k = 0; k < items.size();) {
            std::size_t last = k;
            bool rewrite = false;
            if (items[k].kind == ItemKind::Primary) {
                while (last + 2 < items.size() && IsOperator(items[last + 1].kind) &&
                       items[last + 2].kind == ItemKind::Primary) {
                    if (items[last + 1].kind != ItemKind::MulOp)
                        rewrite = true;
                    last += 2;
                }
            }
            if (rewrite) {
                out += items[k].lead;
                // "MOD[y]" must not become "MODjet_mod(...)".
                if (items[k].lead.empty() && !out.empty() &&
                    IsWordChar(static_cast<unsigned char>(out.back()))) {
                    out += ' ';
                }
                out += Rewrite(items, k, last, dialect_);
            } else {
                for (std::size_t m = k; m <= last; ++m)
                    out += items[m].lead + items[m].text;
            }
            k = last + 1;
        }
        return out + lead;
    }

    static bool IsOperator(ItemKind k) {
        return k == ItemKind::MulOp || k == ItemKind::IdivOp || k == ItemKind::ModOp;
    }

    // Items first..last alternate operand, operator, operand, ... MOD binds
    // loosest, then "\", then "*" and "/"; each is left-associative.
    static std::string Rewrite(const std::vector<Item>& items, std::size_t first, std::size_t last,
                               SqlDialect dialect) {
        // PostgreSQL rounds a double precision to the even neighbour and
        // divides bigints toward zero, "%" taking the dividend's sign: the
        // same arithmetic inline, with no function to install on the server.
        const bool pg = dialect == SqlDialect::PostgreSQL;
        auto whole = [](const std::string& x) {
            return "CAST(round(CAST(" + x + " AS DOUBLE PRECISION)) AS BIGINT)";
        };
        auto idiv = [&](const std::string& a, const std::string& b) {
            return pg ? "(" + whole(a) + " / " + whole(b) + ")" : "jet_idiv(" + a + ", " + b + ")";
        };
        auto mod = [&](const std::string& a, const std::string& b) {
            return pg ? "(" + whole(a) + " % " + whole(b) + ")" : "jet_mod(" + a + ", " + b + ")";
        };
        auto product = [&](std::size_t a, std::size_t b) {
            std::string s = items[a].text;
            for (std::size_t m = a + 1; m <= b; ++m)
                s += items[m].lead + items[m].text;
            return a == b ? s : "(" + s + ")";
        };
        auto quotient = [&](std::size_t a, std::size_t b) {
            std::string acc;
            std::size_t start = a;
            bool any = false;
            for (std::size_t m = a; m <= b; m += 2) {
                if (m == b || items[m + 1].kind == ItemKind::IdivOp) {
                    const std::string part = product(start, m);
                    acc = any ? idiv(acc, part) : part;
                    any = true;
                    start = m + 2;
                }
            }
            return acc;
        };
        std::string acc;
        std::size_t start = first;
        bool any = false;
        for (std::size_t m = first; m <= last; m += 2) {
            if (m == last || items[m + 1].kind == ItemKind::ModOp) {
                const std::string part = quotient(start, m);
                acc = any ? mod(acc, part) : part;
                any = true;
                start = m + 2;
            }
        }
        return acc;
    }

    std::vector<Token> t_;
    SqlDialect dialect_;
    std::vector<std::size_t> match_;
};

// PostgreSQL folds unquoted ASCII letters to lower case and reads no name
// that begins with a digit (1回分の金額), and knows neither brackets nor "?":
// every name in Japanese and every bracketed name becomes a quoted
// identifier, exactly as spelt, and the parameters are numbered.
std::string QuoteForPostgres(const std::string& sql) {
    std::string out;
    out.reserve(sql.size() + sql.size() / 4);
    int parameter = 0;
    auto quoted = [](const std::string& name) {
        std::string q = "\"";
        for (char c : name) {
            if (c == '"')
                q += '"';
            q += c;
        }
        return q + '"';
    };
    for (const Token& tk : Tokenize(sql)) {
        if (tk.kind == TokKind::Quoted) {
            const std::size_t close =
                tk.text.size() >= 2 && (tk.text.back() == ']' || tk.text.back() == '`')
                    ? tk.text.size() - 1
                    : tk.text.size();
            std::string name = tk.text.substr(1, close - 1);
            if (tk.text.front() == '`') {
                std::string single;
                for (std::size_t i = 0; i < name.size(); ++i) {
                    single += name[i];
                    if (name[i] == '`' && i + 1 < name.size() && name[i + 1] == '`')
                        ++i;
                }
                name = single;
            }
            out += quoted(name);
        } else if (tk.kind == TokKind::Word &&
                   std::any_of(tk.text.begin(), tk.text.end(),
                               [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
            out += quoted(tk.text);
        } else if (tk.kind == TokKind::Punct && tk.text == "?") {
            out += "$" + std::to_string(++parameter);
        } else {
            out += tk.text;
        }
    }
    return out;
}

}  // namespace

std::string TranslateSchemaSql(const std::string& ddl, SqlDialect dialect) {
    if (dialect == SqlDialect::SQLite)
        return ddl;
    // Comments go first: the tokenizer does not know them, and an
    // apostrophe in one would open a string.
    std::string bare;
    for (std::size_t i = 0; i < ddl.size(); ++i) {
        const char c = ddl[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = ddl.find(c, i + 1);
            const std::size_t end = close == std::string::npos ? ddl.size() : close + 1;
            bare.append(ddl, i, end - i);
            i = end - 1;
        } else if (c == '-' && i + 1 < ddl.size() && ddl[i + 1] == '-') {
            i = ddl.find('\n', i);
            if (i == std::string::npos)
                break;
            bare += '\n';
        } else {
            bare += c;
        }
    }
    const std::vector<Token> t = Tokenize(bare);
    // The word after token i, blanks skipped.
    auto nextWord = [&](std::size_t i) -> std::size_t {
        for (std::size_t j = i + 1; j < t.size(); ++j) {
            if (t[j].kind != TokKind::Space)
                return t[j].kind == TokKind::Word ? j : t.size();
        }
        return t.size();
    };
    std::string out;
    int depth = 0;
    bool inCreateTable = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Token& tk = t[i];
        if (tk.kind == TokKind::LParen)
            ++depth;
        if (tk.kind == TokKind::RParen)
            --depth;
        if (tk.kind == TokKind::RParen && depth == 0 && inCreateTable) {
            // The import rewrites amounts in place: room left in each page
            // lets the server keep a new row version beside the old one
            // without touching the key's index.
            out += ") WITH (fillfactor = 80)";
            inCreateTable = false;
            continue;
        }
        if (tk.kind != TokKind::Word) {
            out += tk.text;
            continue;
        }
        const std::size_t next = nextWord(i);
        if (EqualsNoCase(tk.text, "CREATE") && next < t.size() &&
            EqualsNoCase(t[next].text, "TABLE"))
            inCreateTable = true;
        if (EqualsNoCase(tk.text, "INTEGER")) {
            // A single-column INTEGER PRIMARY KEY numbers new rows itself in
            // SQLite; an identity column does the same on the server.
            out += next < t.size() && EqualsNoCase(t[next].text, "PRIMARY")
                       ? "BIGINT GENERATED BY DEFAULT AS IDENTITY"
                       : "BIGINT";
        } else if (EqualsNoCase(tk.text, "REAL")) {
            out += "DOUBLE PRECISION";
        } else if (EqualsNoCase(tk.text, "WITHOUT") && next < t.size() &&
                   EqualsNoCase(t[next].text, "ROWID")) {
            i = next;  // the server's tables never have a rowid
        } else {
            out += tk.text;
        }
    }
    return out;
}

std::string TranslateJetSql(const std::string& jetSql, SqlDialect dialect) {
    if (dialect == SqlDialect::SQLite)
        return TranslateJetSql(jetSql);
    return QuoteForPostgres(JetTranslator(Tokenize(jetSql), dialect).run());
}

std::string TranslateJetSql(const std::string& jetSql) {
    // Most statements need nothing; skip the work for them.
    bool candidate = jetSql.find('\\') != std::string::npos;
    if (!candidate) {
        for (std::size_t i = 0; i + 3 <= jetSql.size(); ++i) {
            if ((jetSql[i] == 'M' || jetSql[i] == 'm') &&
                (jetSql[i + 1] == 'O' || jetSql[i + 1] == 'o') &&
                (jetSql[i + 2] == 'D' || jetSql[i + 2] == 'd')) {
                candidate = true;
                break;
            }
        }
    }
    if (!candidate)
        return jetSql;
    return JetTranslator(Tokenize(jetSql), SqlDialect::SQLite).run();
}