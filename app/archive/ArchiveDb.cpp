#include "ArchiveDb.h"

#include "PgDb.h"
#include "SqliteDb.h"

namespace px::archive {

std::unique_ptr<ArchiveDb> MakeArchiveDb(const ArchiveTarget& target)
{
    switch (target.kind) {
    case ArchiveTarget::Kind::Sqlite:
        return std::make_unique<SqliteDb>(target.sqlitePath);
    case ArchiveTarget::Kind::Postgres:
        return std::make_unique<PgDb>(target.conninfo, target.shown);
    case ArchiveTarget::Kind::Off:
        break;
    }
    return nullptr;
}

std::string TextColumn(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0)
            out += "<NUL>";
        else if (c == '\r')
            out += "<CR>";
        else if (c == '\n')
            out += "<LF>";
        else if (c < 0x80)
            out += ch;
        else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace px::archive
