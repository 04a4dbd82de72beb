#include "settings_store.h"

#include <algorithm>
#include <iterator>

#include <QCoreApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QSettings>
#include <QVariant>

#include <cmath>
#include <limits>

#include "compare_settings.h"
#include "qt_text.h"

namespace {

constexpr uint32_t kCheckUpdateOn = 1;

// The vendor's addresses when the settings name none.
const char* const kDefaultUpdateServer = "http://update.quillmere.com/harmonyfox/";
const char* const kDefaultWebSite = "http://www.quillmere.com/harmonyfox/";
const char* const kDefaultForum = "http://forum.quillmere.com/";
const char* const kDefaultEmail = "support@quillmere.com";

}  // namespace

SettingsStore::SettingsStore()
    : m_settings(
          std::make_unique<QSettings>(QStringLiteral("Quillmere"), QStringLiteral("Harmonyfox"))) {}

SettingsStore::SettingsStore(const QString& path)
    : m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::FileName() const {
    return m_settings->fileName();
}

bool SettingsStore::CheckAccess() const {
    return m_settings->isWritable() && m_settings->status() != QSettings::AccessError;
}

bool SettingsStore::WarnIfInaccessible(QWidget* parent) const {
    if (CheckAccess()) {
        return true;
    }
    QMessageBox::warning(
        parent, QCoreApplication::translate("SettingsStore", "Warning"),
        QCoreApplication::translate("SettingsStore", "Can't access settings\n") + FileName());
    return false;
}

uint32_t SettingsStore::ReadDword(const QString& name, uint32_t fallback) const {
    const QVariant value = m_settings->value(name);
    if (!value.isValid()) {
        return fallback;
    }
    // Within one run the value may still be the number this store wrote; from
    // the file it is text, which must be a plain decimal number.
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong: {
            const qlonglong n = value.toLongLong();
            return n >= 0 && n <= std::numeric_limits<uint32_t>::max() ? static_cast<uint32_t>(n)
                                                                       : fallback;
        }
        case QMetaType::UInt:
        case QMetaType::ULongLong: {
            const qulonglong n = value.toULongLong();
            return n <= std::numeric_limits<uint32_t>::max() ? static_cast<uint32_t>(n) : fallback;
        }
        case QMetaType::QString: {
            const QString text = value.toString().trimmed();
            bool ok = false;
            const uint n = text.toUInt(&ok, 10);
            // toUInt takes a leading '+'; a stored DWORD never has one.
            return ok && !text.startsWith(u'+') ? n : fallback;
        }
        default:
            return fallback;
    }
}

QString SettingsStore::ReadString(const QString& name, const QString& fallback) const {
    const QVariant value = m_settings->value(name);
    if (!value.isValid()) {
        return fallback;
    }
    if (value.typeId() == QMetaType::QString) {
        return value.toString();
    }
    return fallback;
}

void SettingsStore::Flush() {
    m_settings->sync();
}

CompareSettings SettingsStore::ReadCompareSettings() const {
    CompareSettings settings;
    settings.method =
        CompareMethodFromStored(ReadDword(QStringLiteral("CompareMethod"), kCompareBoth));
    settings.accurate = ReadDword(QStringLiteral("Accurate"), 0) != 0;
    settings.sensitivity = SensitivityFromStored(
        ReadDword(QStringLiteral("Sensitivity"), kDefaultSensitivityHundredths));
    settings.strict = ReadDword(QStringLiteral("StrictCompare"), 0) != 0;
    return settings;
}

bool SettingsStore::ReadCheckUpdate() const {
    return ReadDword(QStringLiteral("CheckUpdate"), kCheckUpdateOn) == kCheckUpdateOn;
}

uint32_t SettingsStore::ReadLastUpdate() const {
    return ReadDword(QStringLiteral("LastUpdate"), 0);
}

std::vector<std::u16string> SettingsStore::ReadFolders() const {
    return ParseFolders(ReadString(QStringLiteral("Folders"), QString()));
}

VendorLinks SettingsStore::ReadVendorLinks() const {
    VendorLinks links;
    links.updateServer = ReadString(QStringLiteral("UpdateServer"), kDefaultUpdateServer);
    links.webSite = ReadString(QStringLiteral("WebSite"), kDefaultWebSite);
    links.forum = ReadString(QStringLiteral("Forum"), kDefaultForum);
    links.email = ReadString(QStringLiteral("SupportEmail"), kDefaultEmail);
    return links;
}

void SettingsStore::WriteOptions(bool checkUpdate, const CompareSettings& settings) {
    m_settings->setValue(QStringLiteral("CheckUpdate"), checkUpdate ? 1u : 0u);
    m_settings->setValue(QStringLiteral("CompareMethod"), static_cast<uint>(settings.method));
    m_settings->setValue(QStringLiteral("Accurate"), settings.accurate ? 1u : 0u);
    m_settings->setValue(QStringLiteral("StrictCompare"), settings.strict ? 1u : 0u);
    // Whole hundredths, rounded; the slider never gives less than 0 or more
    // than 1, but a broken value must not turn into an undefined conversion.
    const double percent = std::floor(static_cast<double>(settings.sensitivity) * 100.0 + 0.5);
    const double kMaxStored = std::numeric_limits<uint32_t>::max();
    m_settings->setValue(QStringLiteral("Sensitivity"),
                         static_cast<uint>(!(percent > 0.0)       ? 0.0
                                           : percent > kMaxStored ? kMaxStored
                                                                  : percent));
    Flush();
}

void SettingsStore::WriteFolders(const std::vector<std::u16string>& folders) {
    m_settings->setValue(QStringLiteral("Folders"), FormatFolders(folders));
    Flush();
}

namespace {

constexpr char16_t kRoleLetters[] = {u'N', u'R', u'X'};  // by FolderRole

}  // namespace

std::vector<FolderSetting> SettingsStore::ReadFolderSettings() const {
    std::vector<FolderSetting> settings;
    for (const std::u16string& entry :
         ParseFolders(ReadString(QStringLiteral("FolderRoles"), {}))) {
        const auto* letter = std::find(std::begin(kRoleLetters), std::end(kRoleLetters),
                                       entry.empty() ? u'?' : entry[0]);
        if (entry.size() < 3 || entry[1] != u':' || letter == std::end(kRoleLetters)) {
            continue;
        }
        settings.push_back(
            {entry.substr(2), static_cast<FolderRole>(letter - std::begin(kRoleLetters))});
    }
    // "Folders" changed by a version that knows no roles: its list holds.
    const std::vector<std::u16string> folders = ReadFolders();
    if (settings.empty() || FolderRoles(settings).WalkRoots() != folders) {
        settings.clear();
        for (const std::u16string& folder : folders) {
            settings.push_back({folder, FolderRole::kNormal});
        }
    }
    return settings;
}

void SettingsStore::WriteFolderSettings(const std::vector<FolderSetting>& settings) {
    std::vector<std::u16string> entries;
    for (const FolderSetting& s : settings) {
        entries.push_back(std::u16string(1, kRoleLetters[static_cast<size_t>(s.role)]) + u":" +
                          s.path);
    }
    m_settings->setValue(QStringLiteral("FolderRoles"), FormatFolders(entries));
    WriteFolders(FolderRoles(settings).WalkRoots());
}

std::vector<KeepRule> SettingsStore::ReadKeepRules() const {
    const std::optional<std::vector<KeepRule>> rules =
        ParseKeepRules(ReadString(QStringLiteral("KeepRules"), QString()).toStdString());
    return rules && !rules->empty() ? *rules : DefaultKeepRules();
}

void SettingsStore::WriteKeepRules(const std::vector<KeepRule>& rules) {
    m_settings->setValue(QStringLiteral("KeepRules"), QString::fromStdString(KeepRulesText(rules)));
    Flush();
}

std::vector<std::u16string> SettingsStore::ReadPreferredFolders() const {
    return ParseFolders(ReadString(QStringLiteral("PreferredFolders"), QString()));
}

void SettingsStore::WritePreferredFolders(const std::vector<std::u16string>& folders) {
    m_settings->setValue(QStringLiteral("PreferredFolders"), FormatFolders(folders));
    Flush();
}

bool SettingsStore::ReadGroupView() const {
    return ReadDword(QStringLiteral("GroupView"), 0) == 1;
}

void SettingsStore::WriteGroupView(bool groups) {
    m_settings->setValue(QStringLiteral("GroupView"), groups ? 1u : 0u);
    Flush();
}

WindowState SettingsStore::ReadWindowState() const {
    WindowState state;
    state.geometry = m_settings->value(QStringLiteral("WindowGeometry")).toByteArray();
    state.detailsHeight = static_cast<int>(ReadDword(QStringLiteral("DetailsHeight"), 0));
    return state;
}

void SettingsStore::WriteWindowState(const WindowState& state) {
    m_settings->setValue(QStringLiteral("WindowGeometry"), state.geometry);
    m_settings->setValue(QStringLiteral("DetailsHeight"),
                         static_cast<uint>(std::max(state.detailsHeight, 0)));
    Flush();
}

void SettingsStore::WriteLastUpdate(uint32_t secondsSince1970) {
    m_settings->setValue(QStringLiteral("LastUpdate"), static_cast<uint>(secondsSince1970));
    Flush();
}

QString FormatFolders(const std::vector<std::u16string>& folders) {
    QString text;
    for (const std::u16string& folder : folders) {
        QString path = ToQString(folder);
        path.replace(u'"', QStringLiteral("\"\""));
        text += u'"' + path + QStringLiteral("\";");
    }
    return text;
}

std::vector<std::u16string> ParseFolders(const QString& text) {
    std::vector<std::u16string> folders;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (text[i] != u'"') {
            ++i;
            continue;
        }
        // Inside a quoted path: a doubled mark is a literal one, a single
        // mark ends the path. An unclosed path at the end is dropped.
        std::u16string path;
        bool closed = false;
        ++i;
        while (i < n) {
            if (text[i] == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    path.push_back(u'"');
                    i += 2;
                    continue;
                }
                ++i;
                closed = true;
                break;
            }
            path.push_back(text[i].unicode());
            ++i;
        }
        if (closed && !path.empty()) {
            folders.push_back(std::move(path));
        }
    }
    return folders;
}

CompareSettings CurrentCompareSettings() {
    CompareSettings settings;
    settings.method = g_compareMethod.load();
    settings.accurate = g_accurate.load();
    settings.sensitivity = g_sensitivity.load();
    settings.strict = g_strictCompare.load();
    return settings;
}

void ApplyCompareSettings(const CompareSettings& settings) {
    g_compareMethod.store(settings.method);
    g_accurate.store(settings.accurate);
    g_sensitivity.store(settings.sensitivity);
    g_strictCompare.store(settings.strict);
}

uint32_t NowSecondsSince1970() {
    return static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch());
}
