#pragma once
// Small SQLite helpers for the database tests, over the shared TempFolder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Database.h"
#include "PlatformError.h"
#include "Schema.h"
#include "TempFolder.h"

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A new database file with the empty tables.
inline std::string NewDatabase(const TempFolder& dir, const std::string& name = "test.db",
                               bool expansion = true) {
    const std::string path = dir.file(name);
    CreateEmptyDatabase(path, expansion);
    return path;
}

// First column of every row of a query, as text.
inline std::vector<std::string> Column0(const Database& db, const std::string& sql) {
    std::vector<std::string> out;
    Statement st = db.prepare(sql);
    while (st.step())
        out.push_back(FieldText(st.column(0)));
    return out;
}

inline std::string Scalar(const Database& db, const std::string& sql) {
    Statement st = db.prepare(sql);
    if (!st.step())
        return "<no row>";
    return IsNull(st.column(0)) ? "<null>" : FieldText(st.column(0));
}

// Runs `f` and returns the PlatformError it throws (fails the test if none).
template <typename F>
PlatformError ExpectPlatformError(F&& f) {
    try {
        f();
    } catch (const PlatformError& e) {
        return e;
    }
    ADD_FAILURE() << "no PlatformError was thrown";
    return PlatformError(0, "");
}
