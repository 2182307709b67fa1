// The record formatter (modFmtData): one active field template turns a delimited record line
// (unit ID, card ID, event, date, time, record number) into an output line and builds its header
// line; digit strings of any length convert between decimal and hexadecimal. Qt-free, no I/O.
#pragma once

#include "DateFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace px::fmt {

using px::ExpandDate;

// The field list every caller declares.
inline constexpr std::string_view kStandardFields = "UID%,CID%,Event%,Date#,Time#,RecordNo%";
inline constexpr std::string_view kStandardTemplate =
    "{UID},{CID},{Event},{Date,'YYYY/MM/DD'},{Time,'hh:nn:ss'}";
// The standard template with the card ID filled to idLength digits.
std::string IdLengthTemplate(long idLength);

// Bounds that keep a hostile template or record from producing huge lines or slow conversions.
// A width (&nH, &nD) or fill code (&nS, &nZ) larger than kMaxWidth counts as kMaxWidth, and a
// picture never grows past kMaxWidth characters.
inline constexpr long kMaxWidth = 4096;
// All widths and fill codes of one template together; codes beyond it count as 0.
inline constexpr long kMaxTemplateFill = 65536;
// DecToHex and HexToDec return longer digit strings unchanged (conversion time is quadratic).
inline constexpr std::size_t kMaxDigits = 1024;

enum class FieldType : long { Text = 0, Decimal = 1, Hex = 2, Date = 3 };
enum class ItemKind : long {
    Plain = 0,
    Picture = 1,
    DecToHex = 2,
    HexToDec = 3,
    List = 4,
    Mapping = 5
};

// Error numbers of ErrorNo(); a failed LoadTemplate records the first rule the template broke.
enum class FmtError : long {
    None = 0,
    EmptyTemplate = 1, // empty template or field list, no close brace
    NoOpenBrace = 2,
    TwoOpenBraces = 3,
    BadPicture = 4, // no closing quote or nothing between the quotes
    BadMapping = 5,
    BadList = 6,
    NoKnownField = 7,
};

struct FieldDef {
    std::string name; // upper case, suffix removed, not trimmed
    FieldType type = FieldType::Text;
};

struct TemplateItem {
    std::int16_t field = -1; // index into the field list; -1: no field
    ItemKind kind = ItemKind::Plain;
    std::string format;            // picture or date pattern; mapping text for kind Mapping
    std::vector<std::string> list; // list entries; the upper-cased mapping text for kind Mapping
    long width = 0;                // digit width of conversions, 0 = no fill
};

class FmtData {
public:
    // Parses and activates a template. False (also kept as bTemplateOK) when it is invalid: the
    // pieces are still built, but FormatRecord then leaves lines unchanged.
    bool LoadTemplate(std::string_view templ, std::string_view fieldList = kStandardFields,
                      std::string_view listDelimiter = ",", std::string_view openBrace = "{",
                      std::string_view closeBrace = "}");

    // The line through the active template; unchanged when it is empty, the template is not OK
    // or the line has another number of values than the field list.
    std::string FormatRecord(std::string_view line, char delimiter);
    // The same, appended to out: no allocation once out has grown.
    void FormatRecordTo(std::string& out, std::string_view line, char delimiter);

    // The template with each placeholder replaced by its field's name; empty when not OK.
    std::string TemplateHeader() const;

    // Index of the upper-cased name in the field list (exact comparison), -1 when absent.
    std::int16_t FindField(std::string_view name) const;

    bool bTemplateOK() const { return templateOk_; }
    const std::vector<FieldDef>& Fields() const { return fields_; }
    const std::vector<TemplateItem>& Items() const { return items_; }
    // Slots 0..2N: literals (escapes applied) at even indices. The odd slots, the placeholders'
    // values, are written straight into the output line and stay empty here.
    const std::vector<std::string>& OutputPieces() const { return pieces_; }

    long ErrorNo() const { return errorNo_; }
    const std::string& Error() const { return error_; }
    void ClearError();

private:
    enum class Step : std::uint8_t { None, Raw, TextPicture, Date, Number, List, Mapping };

    void SetError(FmtError no, const std::string& text);
    // The field list: names upper-cased, a type suffix (#, %, &) taken off as the field's type.
    void LoadFieldList(std::string_view fieldList, std::string_view listDelimiter);
    bool ParseOption(TemplateItem& item, FieldType type, std::string_view option);
    bool ParsePicture(TemplateItem& item, FieldType type, std::string_view s);
    long TakeFill(long wanted, long pictureRoom);
    FieldType TypeOf(const TemplateItem& item) const;
    static Step StepFor(const TemplateItem& item, FieldType type);
    void AppendValue(std::string& out, std::size_t j, std::string_view v);

    std::vector<FieldDef> fields_;
    std::vector<TemplateItem> items_;
    std::vector<Step> steps_;
    std::vector<std::string> pieces_;
    bool templateOk_ = false;
    long fillLeft_ = kMaxTemplateFill;
    long errorNo_ = 0;
    std::string error_;
    // Reused on every FormatRecord so that a line costs no allocation.
    std::vector<std::string_view> values_;
    std::string scratch_;
};

// The program's one active formatter.
FmtData& modFmtData();

// Replaces backslash + code (first character of the trimmed code, any case) by replacement; a
// backslash pair is skipped unless the code is "\"; an empty replacement with code "\" is "\".
std::string ReplaceEscape(std::string_view text, std::string_view code,
                          std::string_view replacement);

// Digit strings of any length up to kMaxDigits. Text that is not a number comes back exactly as
// passed; a width above 0 is applied with PadLeft and "0".
std::string DecToHex(std::string_view text, long width = 0);
std::string HexToDec(std::string_view text, long width = 0);

// Width 0 (or less): the text; smaller than the text: its rightmost width characters; else the
// text prefixed with fill up to width. Padding stops at kMaxWidth characters.
std::string PadLeft(std::string_view text, long width, char fill);

} // namespace px::fmt
