// A writer of one output file (clsSaver): the output file, the monthly backup and the mail copy
// each have one. It remembers the file it opened last; every line is one complete append, and a
// failed write leaves no partial line and reports why.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace px {

// The text with NUL, CR and LF shown as <NUL>, <CR> and <LF>: a line written to a file stays one
// line, whatever bytes a record brought.
std::string OneLine(std::string_view text);
// OneLine's text appended to out; with commaAsNul every "," becomes a NUL as well.
void AppendOneLine(std::string& out, std::string_view text, bool commaAsNul = false);
// Whether OneLine would change the text.
bool HasLineBreakBytes(std::string_view text);

class Saver {
public:
    // Checks that the file can be opened for appending, creates it when missing and remembers it.
    bool OpenFile(const std::string& path);
    // Appends the record as one line (see OneLine); durable: on disk when this returns.
    bool WriteFile(const std::string& record, bool durable = true);
    // Appends the records as lines with one write, on disk when this returns; on failure none of
    // them is left in the file.
    bool WriteLines(const std::vector<std::string>& records);
    // Lines written without durable reach the disk.
    bool Sync();
    void CloseFile() {}
    long long FileSize() const;
    void ClearError();

    const std::string& Path() const { return path_; }
    const std::string& FileName() const { return fileName_; }
    int FileNumber() const { return 0; } // no handle stays open between calls
    bool Enable() const { return enable_; }
    long ErrorNo() const { return errorNo_; }
    const std::string& Error() const { return error_; }

private:
    std::string path_;
    std::string fileName_;
    bool enable_ = false;
    bool writing_ = false;
    long errorNo_ = 0;
    std::string error_;
};

} // namespace px
