#include "not_duplicates.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "user_folders.h"
#include "whole_file.h"

std::string TsvEscape(const std::u16string& path) {
    std::string out;
    for (char c : U16ToBytes(path)) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool TsvUnescape(std::string_view text, std::u16string* path) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i >= text.size()) {
            return false;
        }
        switch (text[i]) {
            case 't':
                bytes += '\t';
                break;
            case 'n':
                bytes += '\n';
                break;
            case 'r':
                bytes += '\r';
                break;
            case '\\':
                bytes += '\\';
                break;
            default:
                return false;
        }
    }
    *path = BytesToU16(bytes);
    return !path->empty();
}

std::string NotDuplicates::DefaultPath() {
    const std::string folder = ProgramUserFolder("XDG_DATA_HOME", ".local/share");
    return folder.empty() ? folder : folder + "/not-duplicates.txt";
}

NotDuplicates::Pair NotDuplicates::Ordered(const std::u16string& a, const std::u16string& b) {
    return a < b ? Pair(a, b) : Pair(b, a);
}

namespace {

// The pair of one line; false when it is not two paths.
bool ParseLine(std::string_view line, std::u16string* a, std::u16string* b) {
    const size_t tab = line.find('\t');
    return tab != std::string_view::npos && line.find('\t', tab + 1) == std::string_view::npos &&
           TsvUnescape(line.substr(0, tab), a) && TsvUnescape(line.substr(tab + 1), b) && *a != *b;
}

}  // namespace

HRESULT NotDuplicates::Load() {
    m_pairs.clear();
    m_setAside = 0;
    if (m_file.empty()) {
        return S_OK;
    }
    std::string text;
    switch (ReadWholeFile(m_file, &text)) {
        case WholeRead::kRead:
            break;
        case WholeRead::kMissing:
            return S_OK;
        case WholeRead::kNotRegular:
        case WholeRead::kUnreadable:
            return E_FAIL;
    }
    std::string damaged;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        // Saved by an editor that ends lines with CR LF, or left with blanks
        // behind the second path.
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        // A name may end in a blank: the line is taken as it stands and, if
        // that differs, without its trailing blanks too.
        const size_t last = line.find_last_not_of(" \t\r");
        if (last == std::string_view::npos) {
            continue;  // a blank line
        }
        bool good = false;
        for (const std::string_view form : {line, line.substr(0, last + 1)}) {
            std::u16string a;
            std::u16string b;
            if (ParseLine(form, &a, &b)) {
                m_pairs.insert(Ordered(a, b));
                good = true;
            }
        }
        if (!good) {
            damaged.append(line).push_back('\n');
            ++m_setAside;
        }
    }
    if (!damaged.empty()) {
        // Kept for the user to mend, each line once however often it is read.
        std::string kept;
        const std::string bad = m_file + ".bad";
        ReadWholeFile(bad, &kept);
        size_t at = 0;
        while (at < damaged.size()) {
            const size_t end = damaged.find('\n', at) + 1;
            const std::string_view line(damaged.data() + at, end - at);
            if (("\n" + kept).find("\n" + std::string(line)) == std::string::npos) {
                kept.append(line);
            }
            at = end;
        }
        ReplaceFileWith(bad, kept);
    }
    return S_OK;
}

HRESULT NotDuplicates::Save() const {
    if (m_file.empty()) {
        return E_FAIL;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(m_file).parent_path(), error);
    if (IsSpecialPlace(m_file)) {
        return E_FAIL;
    }
    std::string text;
    for (const Pair& pair : m_pairs) {
        text += TsvEscape(pair.first) + "\t" + TsvEscape(pair.second) + "\n";
    }
    return ReplaceFileWith(m_file, text) ? S_OK : E_FAIL;
}

bool NotDuplicates::Contains(const std::u16string& a, const std::u16string& b) const {
    return m_pairs.count(Ordered(a, b)) != 0;
}

bool NotDuplicates::Add(const std::u16string& a, const std::u16string& b) {
    return a != b && m_pairs.insert(Ordered(a, b)).second;
}

bool NotDuplicates::Remove(const std::u16string& a, const std::u16string& b) {
    return m_pairs.erase(Ordered(a, b)) != 0;
}

size_t NotDuplicates::Filter(std::vector<DuplicatePair>& pairs) const {
    if (m_pairs.empty()) {
        return 0;
    }
    const size_t before = pairs.size();
    pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                               [this](const DuplicatePair& p) { return Contains(p); }),
                pairs.end());
    return before - pairs.size();
}
