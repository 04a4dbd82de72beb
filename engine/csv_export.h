// The listed pairs and the groups of copies as CSV text (RFC 4180), for a
// spreadsheet or a script: the window's Export and the command line's
// --format csv write the same bytes. Pure functions apart from the verdicts
// the caller hands in; any thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "duplicate_groups.h"
#include "pair_verdict.h"
#include "scan_owner.h"

// field as one CSV field: as it is, or, when it holds a comma, a quotation
// mark, a carriage return or a line feed, enclosed in quotation marks with
// every quotation mark inside doubled. Spaces and other bytes stay as they are.
std::string CsvField(std::string_view field);

// A header line "path1,path2,content_percent,tags_percent,
// experimental_percent,verdict,offset_s", then one line per pair in the
// order given. Paths are the file system's bytes; percentages have one
// decimal; experimental_percent is empty when it was not computed or failed;
// offset_s (seconds, one decimal) is empty for a pair alike by its tags
// alone. Every line ends with CR LF.
// verdictOf gives each pair's verdict (JudgeVerdict, or one judged before).
using VerdictOf = std::function<PairVerdict(const DuplicatePair& pair)>;
std::string PairsCsv(const std::vector<const DuplicatePair*>& pairs, const VerdictOf& verdictOf);

// A header line "group,role,path,content_percent,tags_percent,
// experimental_percent,verdict", then one line per file, groups numbered
// from 1 in the order given, the keeper's line first. The figures and the
// verdict are those of the file's listed pair with the keeper (pairs[member.
// keeperRecord]); empty for the keeper and for a file not paired with it.
// Every line ends with CR LF.
std::string GroupsCsv(const std::vector<std::vector<GroupMember>>& groups,
                      const std::vector<DuplicatePair>& pairs, const VerdictOf& verdictOf);
