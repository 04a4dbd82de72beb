// The details pane: the properties and tags of both files of the selected
// pair, side by side, with a delete and a play button per file.
//
// FileDetails records are built on the UI thread through a short-lived
// DecoderSet and owned by a FileDetailsStore (the main window's); the pane
// only points at them, so the store must outlive what the pane shows.
// Everything here runs on the UI thread.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "decoder_contract.h"

class QToolButton;

// What the pane shows of one file.
struct FileDetails {
    std::u16string fileName;  // the path after its last '/' (the whole path without one)
    std::u16string folder;    // the path before its last '/' (empty without one)
    std::u16string artist;
    std::u16string title;
    std::u16string album;
    uint64_t size = 0;        // bytes; 0 when the file's size cannot be read
    uint32_t durationMs = 0;  // 0 when the decoder does not know it
    uint32_t bitrate = 0;     // bits per second, 0 when unknown
};

// Builds the details of the file at path through a DecoderSet of the plug-ins
// in pluginFolder (the program's own folder when not given), created and
// destroyed within the call. E_FAIL when no plug-in opens the file; a file
// whose tags cannot be read still gives S_OK with empty tags and zeros.
HRESULT BuildFileDetails(const std::u16string& path, FileDetails* details,
                         const std::optional<std::string>& pluginFolder = std::nullopt);

// Every FileDetails built during the run. A slot (the DuplicatePair's
// details1/details2) holds 0 while empty, else the record's handle. Records
// never move or go away while the store lives.
class FileDetailsStore {
  public:
    explicit FileDetailsStore(std::optional<std::string> pluginFolder = std::nullopt)
        : m_pluginFolder(std::move(pluginFolder)) {}

    // Fills an empty slot with a new record built from path; a filled slot is
    // left as it is and gives S_OK. E_FAIL leaves the slot empty, so the next
    // call tries again.
    HRESULT Build(uint32_t* slot, const std::u16string& path);
    // The record of a slot; null for an empty or unknown slot.
    const FileDetails* Find(uint32_t slot) const;
    size_t Size() const { return m_records.size(); }

  private:
    std::optional<std::string> m_pluginFolder;
    std::deque<FileDetails> m_records;  // deque: records keep their address
};

// Formats of the pane's rows.
QString FormatDuration(uint32_t durationMs);    // 125000 -> "2:05"
QString FormatSize(uint64_t bytes);             // 4479590 -> "4.27 MB"
QString FormatBitrate(uint32_t bitsPerSecond);  // 0 -> "n/a", 128000 -> "128 Kbit"

class CDetailsWnd : public QWidget {
    Q_OBJECT

  public:
    explicit CDetailsWnd(QWidget* parent = nullptr);

    // Shows these two files; either may be null (that side stays empty). The
    // records must stay alive while shown.
    void SetFiles(const FileDetails* left, const FileDetails* right);
    const FileDetails* Left() const { return m_left; }
    const FileDetails* Right() const { return m_right; }

    QToolButton* DeleteLeftButton() const { return m_deleteLeft; }
    QToolButton* PlayLeftButton() const { return m_playLeft; }
    QToolButton* DeleteRightButton() const { return m_deleteRight; }
    QToolButton* PlayRightButton() const { return m_playRight; }

    QSize sizeHint() const override;

  signals:
    // The buttons; they act on the selected row's files.
    void DeleteLeft();
    void PlayLeft();
    void DeleteRight();
    void PlayRight();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QToolButton* MakeButton(const QIcon& icon);
    void UpdateToolTips();

    QFont m_labelFont;
    QFont m_valueFont;
    QToolButton* m_deleteLeft;
    QToolButton* m_playLeft;
    QToolButton* m_deleteRight;
    QToolButton* m_playRight;
    const FileDetails* m_left = nullptr;
    const FileDetails* m_right = nullptr;
};
