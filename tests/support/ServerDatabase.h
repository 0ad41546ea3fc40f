#pragma once
// A database of its own on the test server for one test: created under a
// new name on the server VELKAN_TEST_PG names (scripts/pg-test-server starts
// one), dropped with everything in it when the owner goes out of scope.
// Without VELKAN_TEST_PG the server tests are skipped.
//
// Every connection text carries a password and a key pass phrase: the
// throw-away cluster trusts its user and never asks for them, and no text
// shown to the user in any test may hold them (ShownTexts.h).

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "Database.h"
#include "ShownTexts.h"

class ServerDatabase {
  public:
    static const char* Server() { return std::getenv("VELKAN_TEST_PG"); }
    static bool Available() { return Server() != nullptr && *Server() != '\0'; }
    static constexpr const char* kPassword = "Pw-4fb1c9-never-shown";
    static constexpr const char* kKeyPassword = "Kp-93e0d2-never-shown";
    // The server's text with both secrets added.
    static std::string WithSecrets(const std::string& conninfo) {
        shown::Forbid(kPassword);
        shown::Forbid(kKeyPassword);
        return conninfo + " password=" + kPassword + " sslpassword=" + kKeyPassword;
    }

    ServerDatabase() {
        static std::atomic<int> counter{0};
        name_ = "velkan_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        Database admin(Server(), false);
        admin.executeScript("CREATE DATABASE " + name_);
        // A later keyword wins in libpq's key=value text.
        conninfo_ = WithSecrets(Server()) + " dbname=" + name_;
    }
    ~ServerDatabase() {
        try {
            Database admin(Server(), false);
            admin.executeScript("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
        } catch (...) {
        }
    }
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    const std::string& conninfo() const { return conninfo_; }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    std::string conninfo_;
};

#define SKIP_WITHOUT_SERVER()                                                          \
    do {                                                                               \
        if (!ServerDatabase::Available())                                              \
            GTEST_SKIP() << "VELKAN_TEST_PG names no server (scripts/pg-test-server)"; \
    } while (0)
