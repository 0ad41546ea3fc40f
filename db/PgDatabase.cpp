#include "PgDatabase.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

#include "DatabaseName.h"
#include "DatabaseSecrets.h"
#include "PlatformError.h"
#include "ServerTls.h"

namespace {

// How long a statement waits for a row or table another workstation holds,
// the same as the file database's busy wait.
constexpr const char* kLockTimeout = "5s";
constexpr const char* kConnectTimeoutSeconds = "10";

// The SQLite code that means to the callers what the server's SQLSTATE means.
int CodeOfState(const char* state) {
    if (state == nullptr || std::strlen(state) != 5)
        return SQLITE_ERROR;
    const std::string s(state);
    const std::string cls = s.substr(0, 2);
    if (s == "55P03" || s == "40P01" || s == "40001" || s == "57014")
        return SQLITE_BUSY;  // lock wait ran out, deadlock, serialization
    if (s == "25006")
        return SQLITE_READONLY;
    if (s == "42501")
        return SQLITE_PERM;
    if (cls == "28")
        return SQLITE_AUTH;
    if (cls == "08" || cls == "57")
        return kServerConnectionLost;  // connection failure, server shut down
    if (s == "53100")
        return SQLITE_FULL;
    if (cls == "53" || cls == "58")
        return SQLITE_IOERR;
    if (cls == "23")
        return SQLITE_CONSTRAINT;
    if (s == "22P02")
        return SQLITE_MISMATCH;
    return SQLITE_ERROR;
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

bool IsIntegerType(Oid type) {
    return type == 20 || type == 21 || type == 23 || type == 26;  // int8, int2, int4, oid
}
bool IsFloatType(Oid type) {
    return type == 700 || type == 701;  // float4, float8
}
constexpr Oid kNumeric = 1700;
constexpr Oid kBool = 16;

// A numeric's text: whole numbers that fit stay integers, as SQLite's
// NUMERIC columns keep them; anything else is a double.
FieldValue NumericValue(const char* text, int length) {
    std::int64_t whole = 0;
    const auto [end, ec] = std::from_chars(text, text + length, whole);
    if (ec == std::errc() && end == text + length)
        return whole;
    double d = 0;
    const auto [dend, dec] = std::from_chars(text, text + length, d);
    if (dec == std::errc() && dend == text + length)
        return d;
    return std::strtod(text, nullptr);  // NaN, Infinity
}

}  // namespace

std::string PgNumberText(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    if (std::trunc(value) == value && std::fabs(value) < 9.2e18)
        return std::to_string(static_cast<long long>(value));
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

void AppendCopyField(std::string& line, const FieldValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        line += std::to_string(*i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        line += PgNumberText(*d);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        for (char c : *text) {
            switch (c) {
                case '\\':
                    line += "\\\\";
                    break;
                case '\t':
                    line += "\\t";
                    break;
                case '\n':
                    line += "\\n";
                    break;
                case '\r':
                    line += "\\r";
                    break;
                default:
                    line += c;
            }
        }
    } else {
        line += "\\N";
    }
}

// ---------------------------------------------------------------------------
// PgConnection

PgConnection::PgConnection(const std::string& name, bool readOnly) : secrets_(SecretValues(name)) {
    const std::string conninfo = TrimmedDatabaseName(name);
    const std::string shown = DatabaseDisplayName(conninfo);
    // libpq waits for ever for a server that does not answer; the user's
    // own connect_timeout, given in the name, comes later and wins. The TLS
    // default is added only where the name and its service choose none.
    const std::string sslmode = DefaultSslMode(conninfo);
    std::vector<const char*> keywords = {"connect_timeout"};
    std::vector<const char*> values = {kConnectTimeoutSeconds};
    if (!sslmode.empty()) {
        keywords.push_back("sslmode");
        values.push_back(sslmode.c_str());
    }
    for (const char* k : {"dbname", "client_encoding", "application_name"})
        keywords.push_back(k);
    for (const char* v : {conninfo.c_str(), "UTF8", "VelkanData"})
        values.push_back(v);
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    // libpq's own reading errors quote the name, secrets and all: the name
    // is read here first and such an error shown without them.
    char* parseError = nullptr;
    PQconninfoFree(PQconninfoParse(conninfo.c_str(), &parseError));
    if (parseError != nullptr) {
        const std::string reason = Trim(parseError);
        PQfreemem(parseError);
        throw PlatformError(SQLITE_CANTOPEN,
                            "データベースを開けません: " + shown +
                                " (接続文字列を読み取れません: " + message(reason) + ")");
    }
    conn_ = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (conn_ == nullptr) {
        throw PlatformError(SQLITE_NOMEM, "データベースを開けません: " + shown + " (メモリ不足)");
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string reason = message(Trim(PQerrorMessage(conn_)));
        PQfinish(conn_);
        conn_ = nullptr;
        const std::string hint = TlsFailureHint(reason, !sslmode.empty());
        throw PlatformError(SQLITE_CANTOPEN, "データベースを開けません: " + shown + " (" + reason +
                                                 ")" + (hint.empty() ? "" : "\n" + hint));
    }
    try {
        std::string setup = std::string("SET lock_timeout = '") + kLockTimeout +
                            "'; SET client_min_messages = warning;";
        if (readOnly)
            setup += " SET default_transaction_read_only = on;";
        exec(setup);
    } catch (...) {
        PQfinish(conn_);
        conn_ = nullptr;
        throw;
    }
}

PgConnection::~PgConnection() {
    // An open transaction is rolled back by the server when the session ends.
    if (conn_)
        PQfinish(conn_);
}

void PgConnection::fail(const PGresult* result, const std::string& context) const {
    throw errorOf(result, context);
}

PlatformError PgConnection::errorOf(const PGresult* result, const std::string& context) const {
    if (PQstatus(conn_) == CONNECTION_BAD) {
        return PlatformError(kServerConnectionLost, "データベースサーバーとの接続が切れました (" +
                                                        message(Trim(PQerrorMessage(conn_))) + ")");
    }
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string text;
    if (const char* primary =
            result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr)
        text = primary;
    else
        text = Trim(PQerrorMessage(conn_));
    if (const char* detail = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL) : nullptr)
        text += " (" + std::string(detail) + ")";
    return PlatformError(CodeOfState(state),
                         message(context.empty() ? text : context + ": " + text));
}

void PgConnection::sendDeferred(const std::string& name, int count, const char* const* values,
                                long long expected, DeferredFailure failure) {
    if (!inPipeline_) {
        if (PQenterPipelineMode(conn_) != 1)
            fail(nullptr, "");
        inPipeline_ = true;
    }
    if (PQsendQueryPrepared(conn_, name.c_str(), count, values, nullptr, nullptr, 0) != 1) {
        const PlatformError error = errorOf(nullptr, "");
        drain(false);
        throw error;
    }
    pending_.push_back({expected, failure});
    // A bounded number in flight: the server's answers must never fill the
    // socket while this side is still sending.
    if (pending_.size() >= 256)
        drain();
}

void PgConnection::drain(bool throwing) {
    if (!inPipeline_)
        return;
    std::optional<PlatformError> first;
    if (PQpipelineSync(conn_) != 1)
        first = errorOf(nullptr, "");
    for (std::size_t i = 0; i < pending_.size() && !first; ++i) {
        PgResult result(PQgetResult(conn_));
        if (!result) {
            first = errorOf(nullptr, "");
            break;
        }
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_COMMAND_OK) {
            const char* tuples = PQcmdTuples(result.get());
            if ((tuples && *tuples ? std::atoll(tuples) : 0) != pending_[i].expected)
                first = PlatformError(SQLITE_NOTFOUND, "更新する行が見つかりません");
        } else {
            first = errorOf(result.get(), "");
        }
        if (first && pending_[i].failure)
            first = pending_[i].failure(*first);
        PgResult(PQgetResult(conn_));  // the end of this statement's results
    }
    // After a failure the server skips the rest up to the sync point.
    if (PQstatus(conn_) != CONNECTION_BAD) {
        while (PgResult result{PQgetResult(conn_)}) {
            if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC)
                break;
        }
    }
    pending_.clear();
    PQexitPipelineMode(conn_);
    inPipeline_ = false;
    if (first && throwing)
        throw *first;
}

void PgConnection::freeReleased() {
    if (released_.empty() || PQtransactionStatus(conn_) == PQTRANS_INERROR)
        return;
    std::string sql;
    for (const std::string& name : released_)
        sql += "DEALLOCATE " + name + ";";
    released_.clear();
    PgResult(PQexec(conn_, sql.c_str()));  // a name already gone is no loss
}

std::string PgConnection::exec(const std::string& sql) {
    // A rollback throws away whatever the deferred statements did anyway.
    drain(sql != "ROLLBACK");
    freeReleased();
    PgResult result(PQexec(conn_, sql.c_str()));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY)
        fail(result.get(), "");
    const char* tuples = PQcmdTuples(result.get());
    changes_ = tuples && *tuples ? std::atoll(tuples) : 0;
    return PQcmdStatus(result.get());
}

std::string PgConnection::prepare(const std::string& sql) {
    drain();
    freeReleased();
    std::string name = "velkan_" + std::to_string(++next_);
    PgResult result(PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr));
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        fail(result.get(), "SQL 文の準備");
    return name;
}

void PgConnection::copyIn(const std::string& copySql,
                          const std::function<bool(std::string&)>& next) {
    drain();
    freeReleased();
    {
        PgResult start(PQexec(conn_, copySql.c_str()));
        if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN)
            fail(start.get(), "");
    }
    std::string buffer;
    std::string line;
    bool sent = true;
    while (sent) {
        line.clear();
        const bool more = next(line);
        buffer += line;
        if (buffer.size() >= 1 << 20 || (!more && !buffer.empty())) {
            sent = PQputCopyData(conn_, buffer.data(), static_cast<int>(buffer.size())) == 1;
            buffer.clear();
        }
        if (!more)
            break;
    }
    PQputCopyEnd(conn_, sent ? nullptr : "送信に失敗しました");
    PgResult end(PQgetResult(conn_));
    const bool ok = end && PQresultStatus(end.get()) == PGRES_COMMAND_OK;
    if (ok) {
        const char* tuples = PQcmdTuples(end.get());
        changes_ = tuples && *tuples ? std::atoll(tuples) : 0;
    }
    // Whatever else the server sends belongs to this command.
    while (PgResult(PQgetResult(conn_))) {
    }
    if (!ok)
        fail(end.get(), "");
}

bool PgConnection::inTransaction() const {
    const PGTransactionStatusType status = PQtransactionStatus(conn_);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

// ---------------------------------------------------------------------------
// PgStatement

PgStatement::PgStatement(std::shared_ptr<PgConnection> connection, const std::string& sql)
    : connection_(std::move(connection)), name_(connection_->prepare(sql)) {
    description_.reset(PQdescribePrepared(connection_->handle(), name_.c_str()));
    if (!description_ || PQresultStatus(description_.get()) != PGRES_COMMAND_OK) {
        connection_->release(name_);
        connection_->fail(description_.get(), "SQL 文の準備");
    }
    parameters_ = PQnparams(description_.get());
    values_.resize(static_cast<std::size_t>(parameters_));
    isNull_.assign(static_cast<std::size_t>(parameters_), 1);
}

PgStatement::~PgStatement() {
    connection_->release(std::move(name_));
}

std::string& PgStatement::slot(int index1) {
    if (index1 < 1 || index1 > parameters_)
        throw PlatformError(SQLITE_RANGE, "パラメーターの設定: 番号が範囲外です");
    isNull_[static_cast<std::size_t>(index1 - 1)] = 0;
    return values_[static_cast<std::size_t>(index1 - 1)];
}

void PgStatement::bind(int index1, const FieldValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        slot(index1) = std::to_string(*i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        slot(index1) = PgNumberText(*d);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        slot(index1).assign(*s);
    } else {
        slot(index1);
        isNull_[static_cast<std::size_t>(index1 - 1)] = 1;
    }
}

void PgStatement::bindText(int index1, std::string_view text) {
    slot(index1).assign(text);
}

void PgStatement::runDeferred(long long expectedChanges, DeferredFailure failure) {
    std::vector<const char*> values(static_cast<std::size_t>(parameters_));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = isNull_[i] ? nullptr : values_[i].c_str();
    connection_->sendDeferred(name_, parameters_, values.data(), expectedChanges, failure);
}

bool PgStatement::step() {
    if (!executed_) {
        connection_->drain();
        std::vector<const char*> values(static_cast<std::size_t>(parameters_));
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = isNull_[i] ? nullptr : values_[i].c_str();
        result_.reset(PQexecPrepared(connection_->handle(), name_.c_str(), parameters_,
                                     values.data(), nullptr, nullptr, 0));
        const ExecStatusType status = result_ ? PQresultStatus(result_.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            PgResult failed = std::move(result_);
            connection_->fail(failed.get(), "");
        }
        const char* tuples = PQcmdTuples(result_.get());
        connection_->setChanges(tuples && *tuples ? std::atoll(tuples) : 0);
        executed_ = true;
        row_ = -1;
    }
    if (row_ < PQntuples(result_.get()))
        ++row_;
    return row_ < PQntuples(result_.get());
}

bool PgStatement::moveToRow(long index0) {
    if (!executed_ || !result_ || index0 < 0 || index0 >= PQntuples(result_.get()))
        return false;
    row_ = static_cast<int>(index0);
    return true;
}

void PgStatement::reset() {
    result_.reset();
    executed_ = false;
    row_ = -1;
    std::fill(isNull_.begin(), isNull_.end(), 1);
}

const PGresult* PgStatement::shape() const {
    return result_ ? result_.get() : description_.get();
}

int PgStatement::columnCount() const {
    return PQnfields(shape());
}

std::string PgStatement::columnName(int index0) const {
    const char* name = PQfname(shape(), index0);
    return name ? name : std::string();
}

FieldValue PgStatement::column(int index0) const {
    FieldValue out;
    columnInto(index0, out);
    return out;
}

void PgStatement::columnInto(int index0, FieldValue& out) const {
    const PGresult* r = result_.get();
    if (!r || row_ < 0 || row_ >= PQntuples(r) || index0 < 0 || index0 >= PQnfields(r) ||
        PQgetisnull(r, row_, index0)) {
        out = FieldNull{};
        return;
    }
    const char* text = PQgetvalue(r, row_, index0);
    const int length = PQgetlength(r, row_, index0);
    const Oid type = PQftype(r, index0);
    if (IsIntegerType(type)) {
        std::int64_t v = 0;
        std::from_chars(text, text + length, v);
        out = v;
    } else if (IsFloatType(type) || type == kNumeric) {
        out = NumericValue(text, length);
        if (IsFloatType(type)) {
            if (const auto* i = std::get_if<std::int64_t>(&out))
                out = static_cast<double>(*i);  // a REAL column stays a double
        }
    } else if (type == kBool) {
        out = std::int64_t{text[0] == 't' ? 1 : 0};
    } else if (auto* s = std::get_if<std::string>(&out)) {
        s->assign(text, static_cast<std::size_t>(length));
    } else {
        out.emplace<std::string>(text, static_cast<std::size_t>(length));
    }
}

std::int64_t PgStatement::columnInt(int index0) const {
    FieldValue v;
    columnInto(index0, v);
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (std::holds_alternative<double>(v))
        return FieldWhole<std::int64_t>(v, columnName(index0));
    if (const auto* s = std::get_if<std::string>(&v))
        return std::atoll(s->c_str());
    return 0;
}

void PgStatement::columnText(int index0, std::string& out) const {
    const PGresult* r = result_.get();
    if (!r || row_ < 0 || row_ >= PQntuples(r) || PQgetisnull(r, row_, index0)) {
        out.clear();
        return;
    }
    out.assign(PQgetvalue(r, row_, index0), static_cast<std::size_t>(PQgetlength(r, row_, index0)));
}
