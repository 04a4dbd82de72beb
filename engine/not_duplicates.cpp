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

HRESULT NotDuplicates::Load() {
    m_pairs.clear();
    std::error_code error;
    if (m_file.empty() || !std::filesystem::exists(m_file, error)) {
        return error ? E_FAIL : S_OK;
    }
    std::ifstream in(m_file, std::ios::binary);
    if (!in) {
        return E_FAIL;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const size_t tab = line.find('\t');
        std::u16string a;
        std::u16string b;
        if (tab == std::string_view::npos || line.find('\t', tab + 1) != std::string_view::npos ||
            !TsvUnescape(line.substr(0, tab), &a) || !TsvUnescape(line.substr(tab + 1), &b) || a == b) {
            continue;
        }
        m_pairs.insert(Ordered(a, b));
    }
    return S_OK;
}

HRESULT NotDuplicates::Save() const {
    if (m_file.empty()) {
        return E_FAIL;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(m_file).parent_path(), error);
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
