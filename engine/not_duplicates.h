// The pairs the user said are not duplicates. They are left out of the list,
// the groups and every export, in this scan and every later one. Kept in a
// small text file in the user's data folder: one pair a line, the two paths
// (the file system's bytes, the smaller first) separated by a tab, with tab,
// line feed, carriage return and backslash written as \t, \n, \r and \\.
// Not thread-safe: one owner (the window or the command line) uses it.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decoder_contract.h"
#include "scan_owner.h"

// A path as a TSV cell: its bytes, with tab, line feed, carriage return and
// backslash written as \t, \n, \r and \\.
std::string TsvEscape(const std::u16string& path);
// The inverse; false for an empty result, a lone backslash at the end or an
// unknown escape.
bool TsvUnescape(std::string_view text, std::u16string* path);

class NotDuplicates {
  public:
    using Pair = std::pair<std::u16string, std::u16string>;  // first < second

    // $XDG_DATA_HOME/Quillmere/Harmonyfox/not-duplicates.txt (default
    // ~/.local/share/...); empty when there is no home folder.
    static std::string DefaultPath();

    explicit NotDuplicates(std::string file = DefaultPath()) : m_file(std::move(file)) {}

    // Reads the file, replacing what is held. A missing file is an empty
    // list (S_OK). Lines ended by CR LF or followed by blanks are read as
    // they were meant; lines that are not two paths are set aside in the
    // file's name with ".bad" added (each line once) and counted in
    // setAside(). E_FAIL when the file exists but cannot be read, or is a
    // folder or FIFO: it is left alone and the list is empty.
    HRESULT Load();
    // Damaged lines the last Load set aside.
    size_t setAside() const { return m_setAside; }
    // Writes every pair (to a new file that then replaces the old one, so a
    // failed write loses nothing). E_FAIL when it cannot be written, or
    // when a folder or FIFO is at its place.
    HRESULT Save() const;

    // Either order of the two paths.
    bool Contains(const std::u16string& a, const std::u16string& b) const;
    // false when the pair was there already (or a equals b).
    bool Add(const std::u16string& a, const std::u16string& b);
    // false when the pair was not there.
    bool Remove(const std::u16string& a, const std::u16string& b);
    bool Contains(const DuplicatePair& pair) const { return Contains(pair.path1, pair.path2); }

    // Takes every remembered pair out of pairs (late experimental figures of
    // them too); returns how many went.
    size_t Filter(std::vector<DuplicatePair>& pairs) const;

    const std::set<Pair>& Pairs() const { return m_pairs; }
    const std::string& File() const { return m_file; }

  private:
    static Pair Ordered(const std::u16string& a, const std::u16string& b);

    std::string m_file;
    std::set<Pair> m_pairs;
    size_t m_setAside = 0;
};
