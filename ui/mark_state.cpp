#include "mark_state.h"

#include <QFile>
#include <QFileInfo>

#include <string_view>
#include <unordered_set>

#include "decoder_contract.h"

namespace {

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

uint64_t FileSize(const std::u16string& path) {
    const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(U16ToBytes(path))));
    return info.exists() ? static_cast<uint64_t>(info.size()) : 0;
}

}  // namespace

CMarkState::CMarkState(QObject* parent) : QObject(parent) {}

void CMarkState::SetReferenceTest(ReferenceTest isReference) {
    m_isReference = std::move(isReference);
    // A folder that became a reference one takes its files' marks away.
    bool changed = false;
    for (auto it = m_marked.begin(); it != m_marked.end();) {
        if (!CanMark(it->first)) {
            m_bytes -= it->second;
            it = m_marked.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    if (changed) {
        emit Changed();
    }
}

bool CMarkState::CanMark(const std::u16string& path) const {
    return !m_isReference || !m_isReference(path);
}

bool CMarkState::IsMarked(const std::u16string& path) const {
    return m_marked.count(path) != 0;
}

bool CMarkState::Set(const std::u16string& path, bool marked) {
    if (!marked) {
        const auto it = m_marked.find(path);
        if (it == m_marked.end()) {
            return false;
        }
        m_bytes -= it->second;
        m_marked.erase(it);
        return true;
    }
    if (!CanMark(path) || IsMarked(path)) {
        return false;
    }
    const uint64_t size = FileSize(path);
    m_marked.emplace(path, size);
    m_bytes += size;
    return true;
}

bool CMarkState::SetMarked(const std::u16string& path, bool marked) {
    if (marked && !CanMark(path)) {
        return false;
    }
    if (Set(path, marked)) {
        emit Changed();
    }
    return true;
}

void CMarkState::Toggle(const std::u16string& path) {
    SetMarked(path, !IsMarked(path));
}

void CMarkState::SetMarks(const std::vector<std::u16string>& paths, bool marked) {
    bool changed = false;
    for (const std::u16string& path : paths) {
        changed = Set(path, marked) || changed;
    }
    if (changed) {
        emit Changed();
    }
}

void CMarkState::Clear() {
    if (m_marked.empty()) {
        return;
    }
    m_marked.clear();
    m_bytes = 0;
    emit Changed();
}

void CMarkState::Invert(const std::vector<std::u16string>& paths) {
    bool changed = false;
    std::unordered_set<std::u16string_view> seen;
    for (const std::u16string& path : paths) {
        if (seen.insert(path).second) {
            changed = Set(path, !IsMarked(path)) || changed;
        }
    }
    if (changed) {
        emit Changed();
    }
}

std::vector<std::u16string> CMarkState::Marked() const {
    std::vector<std::u16string> out;
    out.reserve(m_marked.size());
    for (const auto& [path, size] : m_marked) {
        out.push_back(path);
    }
    return out;
}

QString CMarkState::Summary() const {
    return tr("%n file(s) marked, %1 MB", nullptr, static_cast<int>(m_marked.size()))
        .arg(static_cast<double>(m_bytes) / kBytesPerMegabyte, 0, 'f', 1);
}
