// SettingsStore: the program's persistent settings, kept per user in
// QSettings("Quillmere", "Harmonyfox") under the value names "CompareMethod",
// "Accurate", "Sensitivity", "CheckUpdate", "LastUpdate" and "Folders", the
// result settings "FolderRoles", "KeepRules", "PreferredFolders" and
// "GroupView", the window's "WindowGeometry" and "DetailsHeight", plus
// the vendor addresses ("UpdateServer", "WebSite", "Forum", "SupportEmail"),
// which are read with built-in defaults and never written.
//
// The main window owns one store for its lifetime; dialogs borrow it. A value
// that is missing or does not parse as its type counts as missing and gives
// the default. Writes are not reported one by one: CheckAccess tells once, at
// start, whether the settings file can be written. UI thread only.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "folder_roles.h"
#include "keeper_rules.h"

class QSettings;
class QWidget;

// The comparison settings that the scan engine reads.
struct CompareSettings {
    int32_t method = 3;         // 1 only tags, 2 only content, 3 tags and content
    bool accurate = false;      // the experimental measure
    float sensitivity = 0.75f;  // reporting threshold, "Sensitivity" / 100
    bool strict = false;        // content compared as the windows lie, "StrictCompare"
    bool operator==(const CompareSettings&) const = default;
};

// Addresses of the vendor; configuration values with built-in defaults.
struct VendorLinks {
    QString updateServer;  // base URL; the check asks for "version" under it
    QString webSite;
    QString forum;
    QString email;  // a bare address; callers add "mailto:"
};

// How the main window was left: its place and size (QWidget::saveGeometry)
// and the details pane's height in pixels (0: never set).
struct WindowState {
    QByteArray geometry;
    int detailsHeight = 0;
};

class SettingsStore {
  public:
    // The per-user settings of the program.
    SettingsStore();
    // The settings in the INI file at path (for tests and tools).
    explicit SettingsStore(const QString& path);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The file the settings live in.
    QString FileName() const;
    // False when the settings file cannot be written (every later write is
    // then lost, while whatever can be read is still used).
    bool CheckAccess() const;
    // CheckAccess, and on failure the warning naming the settings file,
    // owned by parent. Returns what CheckAccess returned.
    bool WarnIfInaccessible(QWidget* parent) const;

    // "CompareMethod" 1..3 (else 3), "Accurate" != 0, "Sensitivity" / 100
    // (75 when missing; values above 100 are kept and give more than 1).
    CompareSettings ReadCompareSettings() const;
    // "CheckUpdate": exactly 1 is on; missing is on.
    bool ReadCheckUpdate() const;
    // "LastUpdate": seconds since 1970-01-01 UTC of the last successful
    // update check; 0 when missing.
    uint32_t ReadLastUpdate() const;
    // "Folders": the folder list, in order.
    std::vector<std::u16string> ReadFolders() const;
    VendorLinks ReadVendorLinks() const;

    // The values of a confirmed Options dialog, in the order "CheckUpdate",
    // "CompareMethod", "Accurate", "Sensitivity" (percent, rounded).
    void WriteOptions(bool checkUpdate, const CompareSettings& settings);
    void WriteFolders(const std::vector<std::u16string>& folders);

    // The folders with their roles: "FolderRoles" when it agrees with
    // "Folders", else (written by a version without roles) every folder of
    // "Folders" as a normal one.
    std::vector<FolderSetting> ReadFolderSettings() const;
    // "FolderRoles" = every folder with its role ("N:", "R:" or "X:" before the
    // path, quoted as "Folders" is), and "Folders" = the folders a scan walks,
    // so that an older version still scans them (without the roles).
    void WriteFolderSettings(const std::vector<FolderSetting>& settings);
    // "KeepRules" (names separated by commas); the default order when
    // missing or unreadable.
    std::vector<KeepRule> ReadKeepRules() const;
    void WriteKeepRules(const std::vector<KeepRule>& rules);
    std::vector<std::u16string> ReadPreferredFolders() const;
    void WritePreferredFolders(const std::vector<std::u16string>& folders);
    // "GroupView" = 1: the results show as groups; else as pairs (the default).
    bool ReadGroupView() const;
    void WriteGroupView(bool groups);
    void WriteLastUpdate(uint32_t secondsSince1970);
    // "WindowGeometry" and "DetailsHeight"; empty and 0 when missing.
    WindowState ReadWindowState() const;
    void WriteWindowState(const WindowState& state);

    // The underlying settings object, for values without an accessor here.
    QSettings& Settings() { return *m_settings; }

  private:
    // The value as a 32-bit unsigned number, or fallback when it is missing or
    // is not such a number.
    uint32_t ReadDword(const QString& name, uint32_t fallback) const;
    QString ReadString(const QString& name, const QString& fallback) const;
    void Flush();

    std::unique_ptr<QSettings> m_settings;
};

// "Folders" text: every folder enclosed in quotation marks and followed by a
// semicolon; a quotation mark inside a path is doubled. An empty list is the
// empty string.
QString FormatFolders(const std::vector<std::u16string>& folders);
// Every non-empty text between a pair of quotation marks, in order; anything
// outside quotation marks is ignored, a doubled mark inside is one mark.
std::vector<std::u16string> ParseFolders(const QString& text);

// The process-wide comparison settings that the engine reads (g_compareMethod,
// g_accurate, g_sensitivity).
CompareSettings CurrentCompareSettings();
// Sets the process-wide comparison settings; the comparisons judged after
// this use them. UI thread only.
void ApplyCompareSettings(const CompareSettings& settings);

// Seconds since 1970 UTC, as stored in "LastUpdate".
uint32_t NowSecondsSince1970();
