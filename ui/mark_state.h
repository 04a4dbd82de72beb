// CMarkState: which files are marked. A mark belongs to a file, not to a row:
// every row of every view that shows the file shows it marked. Files under a
// reference folder can never be marked. The main window owns it; the pair
// and group models read it. Main thread only.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class CMarkState : public QObject {
    Q_OBJECT

  public:
    // Whether a file lies under a reference folder.
    using ReferenceTest = std::function<bool(const std::u16string& path)>;

    explicit CMarkState(QObject* parent = nullptr);

    void SetReferenceTest(ReferenceTest isReference);
    bool CanMark(const std::u16string& path) const;
    bool IsMarked(const std::u16string& path) const;

    // Marks or unmarks one file. false when a reference file was to be marked.
    bool SetMarked(const std::u16string& path, bool marked);
    void Toggle(const std::u16string& path);
    // Marks (or unmarks) every file of paths that can be; one Changed.
    void SetMarks(const std::vector<std::u16string>& paths, bool marked);
    // Unmarks every file.
    void Clear();
    // Marks every unmarked file of paths that can be marked and unmarks every
    // marked one of them.
    void Invert(const std::vector<std::u16string>& paths);

    size_t Count() const { return m_marked.size(); }
    // The marked files' sizes in bytes, as they were when marked.
    uint64_t Bytes() const { return m_bytes; }
    // The marked files, in no particular order.
    std::vector<std::u16string> Marked() const;
    // "N files marked, X MB" (MB of 1,048,576 bytes, one decimal).
    QString Summary() const;

  signals:
    void Changed();

  private:
    // Without signalling; true when something changed.
    bool Set(const std::u16string& path, bool marked);

    ReferenceTest m_isReference;
    std::unordered_map<std::u16string, uint64_t> m_marked;  // path -> size in bytes
    uint64_t m_bytes = 0;
};
