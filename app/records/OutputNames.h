// Names of the files records are written to: the output file (a fixed name with an optional date
// placeholder, or a name by date), the mail copy beside the records, and the monthly backup.
#pragma once

#include "DateFormat.h"

#include <string>

namespace px {

struct Options;
struct ProgramPaths;

// Removes every character of \ / : * ? < > | and the double quote.
std::string RemoveForbidden(const std::string& name);

// The output file name at this moment (fixed name or name by date), forbidden characters removed.
std::string OutputFileName(const Options& options, const DateTime& now);

// program folder/Records/MailFile/<file name>
std::string MailFilePath(const ProgramPaths& paths, const std::string& fileName);
// program folder/Records/YYYYMM.BAK
std::string BackupFilePath(const ProgramPaths& paths, const DateTime& now);

// The file-name boxes refuse these keys: txtFixName the forbidden characters, txtSubName those
// and ".".
bool AcceptFixNameKey(char key);
bool AcceptSubNameKey(char key);
// txtDigital: control keys, and a digit only when the resulting text stays at most 99.
bool AcceptDigitalKey(int key, const std::string& resultingText);
// The card-ID digit count a text gives: its number, within 0..99 as the box allows.
int IdLength(const std::string& text);
// The text after a change, and nIDLen from it.
std::string DigitalChanged(const std::string& text, int* nIDLen);
// The text when the box loses focus: empty becomes "14", above 99 becomes "99".
std::string DigitalLeft(const std::string& text);

} // namespace px
