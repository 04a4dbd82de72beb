#include "csv_export.h"

#include <cstdio>

#include "decoder_contract.h"
#include "pair_verdict.h"

namespace {

constexpr char kLineEnd[] = "\r\n";

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", value);
    return text;
}

std::string Percent(float value) {
    return OneDecimal(static_cast<double>(value));
}

// Pending, not requested and failed figures are all negative.
std::string Experimental(float value) {
    return value < 0.0f ? std::string() : Percent(value);
}

std::string PathField(const std::u16string& path) {
    return CsvField(U16ToBytes(path));
}

// content_percent, tags_percent, experimental_percent, verdict
std::string FigureFields(const DuplicatePair& pair, const PairVerdict& verdict) {
    return Percent(pair.contentPercent) + "," + Percent(pair.tagPercent) + "," +
           Experimental(pair.experimentalPercent) + "," + CsvField(VerdictName(verdict.verdict));
}

}  // namespace

std::string CsvField(std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(field);
    }
    std::string quoted = "\"";
    for (char c : field) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string PairsCsv(const std::vector<const DuplicatePair*>& pairs, const VerdictOf& verdictOf) {
    std::string out =
        "path1,path2,content_percent,tags_percent,experimental_percent,verdict,"
        "offset_s";
    out += kLineEnd;
    for (const DuplicatePair* pair : pairs) {
        const PairVerdict verdict = verdictOf(*pair);
        out += PathField(pair->path1) + "," + PathField(pair->path2) + "," +
               FigureFields(*pair, verdict) + "," +
               (pair->contentMatch ? OneDecimal(verdict.offsetSeconds) : std::string()) + kLineEnd;
    }
    return out;
}

std::string GroupsCsv(const std::vector<std::vector<GroupMember>>& groups,
                      const std::vector<DuplicatePair>& pairs, const VerdictOf& verdictOf) {
    std::string out = "group,role,path,content_percent,tags_percent,experimental_percent,verdict";
    out += kLineEnd;
    for (size_t g = 0; g < groups.size(); ++g) {
        for (const GroupMember& member : groups[g]) {
            out += std::to_string(g + 1) + "," + FileRoleName(member.role) + "," +
                   PathField(member.path) + ",";
            if (member.keeperRecord < pairs.size()) {
                const DuplicatePair& pair = pairs[member.keeperRecord];
                out += FigureFields(pair, verdictOf(pair));
            } else {
                out += ",,,";
            }
            out += kLineEnd;
        }
    }
    return out;
}
