// The archive's schema as numbered forward steps, in the SQL of each database. Opening a
// database runs the steps it lacks inside one transaction; a database whose schema_version is
// newer than the program's is refused before anything is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace px::archive {

enum class Dialect { Sqlite, Postgres };

struct Migration {
    int version;
    std::vector<std::string> sqlite;
    std::vector<std::string> postgres;
};

// Every step from version 1 on.
const std::vector<Migration>& Migrations();

// What a migration needs from a connection that is inside its transaction.
class SchemaSession {
public:
    virtual ~SchemaSession() = default;
    virtual bool Exec(const std::string& sql, std::string* error) = 0;
    // The highest version in schema_version; 0 when the table does not exist; nullopt on error.
    virtual std::optional<int> Version(std::string* error) = 0;
};

// A connection's own statements and version query as a schema session.
template <class Db> class SchemaSessionOn : public SchemaSession {
public:
    explicit SchemaSessionOn(Db& db) : db_(db) {}
    bool Exec(const std::string& sql, std::string* error) override { return db_.Exec(sql, error); }
    std::optional<int> Version(std::string* error) override { return db_.Version(error); }

private:
    Db& db_;
};

// Why a database at version found is refused by a program whose schema is at ours.
std::string NewerSchemaMessage(int found, int ours);

// Brings the schema from its version to the last step's. *found receives the version the
// database had.
bool Migrate(SchemaSession& session, Dialect dialect, const std::vector<Migration>& steps,
             int* found, std::string* error);

} // namespace px::archive
