// Groups of duplicates, each one piece of music arranged around the copy to
// keep. Files join a group through the pairs that the content comparison
// accepted (A~B and B~C make one group of A, B and C); a pair listed by its
// tags alone never joins two such groups. A file is a copy to delete only
// when its own content match with the keeper is listed, so that deleting
// every such copy leaves the keeper of every piece. Shared by the desktop
// program and the command line. Pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "keeper_rules.h"
#include "scan_owner.h"

enum class FileRole : uint8_t {
    kKeeper,     // the copy the rules suggest keeping
    kDuplicate,  // its content matches the keeper's: a copy to delete
    kReference,  // a file under a reference folder, never deleted
    kLinked,     // matches another copy, not the keeper itself: kept unless asked
    kTagsOnly,   // tied into the group by its tags alone: kept unless asked
};
// "keeper", "duplicate", "reference", "linked", "tags-only".
const char* FileRoleName(FileRole role);

inline constexpr uint32_t kNoRecord = 0xFFFFFFFF;

struct PairGroup {
    // Distinct: first the files joined by content matches, in the order they
    // first appear, then those tied in by tags alone.
    std::vector<std::u16string> files;
    std::vector<uint32_t> records;  // the pairs between two of its files, ascending
    // files[0, contentFiles) are the piece's copies; 0 for a group that
    // tags alone tie together.
    size_t contentFiles = 0;
};

// The groups of the pairs records[i] for every i in listed (indices outside
// records are ignored). First the connected sets of the content matches, in
// the order of each set's first pair; a pair of a file with itself makes a
// group of one file. Then the files that only pairs listed by tags reach:
// the files such pairs connect among themselves join, as one, the content
// group that the first of their pairs with a content-matched file leads to,
// or else make a group of their own. Every file of the pairs is in exactly
// one group; a tags pair between two content groups joins neither.
std::vector<PairGroup> GroupPairs(const std::vector<DuplicatePair>& records,
                                  const std::vector<uint32_t>& listed);
// The same over every record.
std::vector<PairGroup> GroupPairs(const std::vector<DuplicatePair>& records);

struct GroupMember {
    std::u16string path;
    FileRole role = FileRole::kDuplicate;
    // The pair that ties the file into the group: its pair with the keeper
    // when that is listed, else its pair with a member nearer the keeper.
    // kNoRecord for the keeper.
    uint32_t record = kNoRecord;
    // Its listed pair with the keeper, a content match first; kNoRecord when
    // none is listed (and for the keeper). The figures a group row shows.
    uint32_t keeperRecord = kNoRecord;
    uint32_t depth = 0;  // pairs between the file and the keeper
};

// How many of group.files the keeper may be chosen from: the copies of the
// piece, or every file of a group tied by tags alone. They come first.
size_t KeeperCandidates(const PairGroup& group);
// PickKeeper over the group's candidates; facts[i] belongs to group.files[i].
size_t PickGroupKeeper(const PairGroup& group, const std::vector<FileFacts>& facts,
                       const std::vector<KeepRule>& rules);

// The keeper the user chose: of the group's candidates, the one named last
// in chosen (later choices win); PickGroupKeeper's choice when chosen names
// none of them. A file tied in by its tags alone never leads a group of
// copies, whatever chosen says.
size_t PickGroupKeeper(const PairGroup& group, const std::vector<FileFacts>& facts,
                       const std::vector<KeepRule>& rules,
                       const std::vector<std::u16string>& chosen);

// The group's files, keeper (group.files[keeper], one of its candidates)
// first, then the others breadth first from the keeper, each level in the
// order of the pairs. reference[i] tells whether group.files[i] lies under a
// reference folder (missing entries count as no). Only a file whose content
// match with the keeper is listed, outside reference folders, is a
// duplicate. An empty list when keeper is out of range.
std::vector<GroupMember> ArrangeGroup(const PairGroup& group,
                                      const std::vector<DuplicatePair>& records, size_t keeper,
                                      const std::vector<bool>& reference);
