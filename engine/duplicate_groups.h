// Groups of duplicates: the connected sets of listed pairs (A~B and B~C make
// one group of A, B and C), each arranged around the copy to keep. Shared by
// the desktop program and the command line. Pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan_owner.h"

enum class FileRole : uint8_t {
    kKeeper,     // the copy the rules suggest keeping
    kDuplicate,  // another copy, to be deleted
    kReference,  // another copy under a reference folder, never deleted
};
// "keeper", "duplicate", "reference".
const char* FileRoleName(FileRole role);

inline constexpr uint32_t kNoRecord = 0xFFFFFFFF;

struct PairGroup {
    std::vector<std::u16string> files;  // distinct, in the order they first appear
    std::vector<uint32_t> records;      // the group's pairs, ascending
};

// The connected sets of the pairs records[i] for every i in listed (indices
// outside records are ignored), in the order of each set's first pair. A
// pair of a file with itself makes a group of one file.
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
    uint32_t depth = 0;  // pairs between the file and the keeper
};

// The group's files, keeper (group.files[keeper]) first, then the others
// breadth first from the keeper, each level in the order of the pairs.
// reference[i] tells whether group.files[i] lies under a reference folder
// (missing entries count as no).
std::vector<GroupMember> ArrangeGroup(const PairGroup& group,
                                      const std::vector<DuplicatePair>& records, size_t keeper,
                                      const std::vector<bool>& reference);
