#include "duplicate_report.h"

#include <cstdio>

namespace {

std::string CsvField(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// Length of the valid UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    return length;
}

// A JSON string; bytes of a file name that are not UTF-8 become \u00XX, so
// the output stays valid JSON.
std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    char escape[8];
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else if (c >= 0x80) {
            if (const std::size_t length = Utf8Length(text, i)) {
                out.append(text, i, length);
                i += length;
                continue;
            }
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += char(c);
        }
        ++i;
    }
    return out + "\"";
}

// A path on one line of the text layout: a control character (a newline in
// a file name) is written as an escape, so that no name looks like a group
// of its own.
std::string TextLine(const std::string& path)
{
    std::string out;
    char escape[8];
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\x%02x",
                          static_cast<unsigned char>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\n";
}

std::string JsonItem(const dif::SDuplicateItem& item)
{
    return "{\"record\": " + std::to_string(item.record) + ", \"match\": " + std::to_string(item.match) +
           ", \"size\": " + std::to_string(item.size) + ", \"path\": " + JsonString(item.path) + "}";
}

std::string CsvRow(std::size_t group, const char* role, const dif::SDuplicateItem& item)
{
    return std::to_string(group) + "," + role + "," + std::to_string(item.record) + "," +
           std::to_string(item.match) + "," + std::to_string(item.size) + "," + CsvField(item.path) + "\n";
}

} // namespace

bool ParseReportFormat(const std::string& text, CReportFormat& format)
{
    if (text == "text")
        format = CReportFormat::Text;
    else if (text == "csv")
        format = CReportFormat::Csv;
    else if (text == "json")
        format = CReportFormat::Json;
    else
        return false;
    return true;
}

std::string FormatDuplicateGroups(const std::vector<dif::SDuplicateGroup>& groups, CReportFormat format)
{
    std::string out;
    if (format == CReportFormat::Csv)
        out = "group,role,record,match,size,path\n";
    if (format == CReportFormat::Json)
        out = "[";
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const dif::SDuplicateGroup& group = groups[g];
        switch (format) {
        case CReportFormat::Text:
            out += TextLine(group.head.path);
            for (const dif::SDuplicateItem& member : group.members) {
                char match[16];
                std::snprintf(match, sizeof match, "%5d%%  ", member.match);
                out += match + TextLine(member.path);
            }
            break;
        case CReportFormat::Csv:
            out += CsvRow(g + 1, "head", group.head);
            for (const dif::SDuplicateItem& member : group.members)
                out += CsvRow(g + 1, "member", member);
            break;
        case CReportFormat::Json:
            out += std::string(g ? "," : "") + "\n  {\"head\": " + JsonItem(group.head) + ",\n   \"members\": [";
            for (std::size_t m = 0; m < group.members.size(); ++m)
                out += std::string(m ? ",\n               " : "") + JsonItem(group.members[m]);
            out += "]}";
            break;
        }
    }
    if (format == CReportFormat::Json)
        out += groups.empty() ? "]\n" : "\n]\n";
    return out;
}
