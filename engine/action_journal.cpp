#include "action_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "file_io.h"
#include "not_duplicates.h"
#include "trash_can.h"
#include "user_folders.h"

namespace {

// The first line of every action file; a file without it is not ours.
constexpr char kHeader[] = "Harmonyfox action 1";
constexpr char kPrefix[] = "action-";
constexpr char kSuffix[] = ".txt";
constexpr char kSavedSuffix[] = ".saved";
constexpr char kLockName[] = "lock";
constexpr int kNumberDigits = 10;
constexpr mode_t kPrivateFile = 0600;

const char* const kKindNames[] = {"trash", "move", "rewrite"};
const char* const kStepStateNames[] = {"planned", "done", "failed", "back", "stuck"};
const char* const kActionStateNames[] = {"open", "done", "undone"};

template <typename Enum, size_t N>
bool ParseName(const std::string& text, const char* const (&names)[N], Enum* value) {
    for (size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            *value = static_cast<Enum>(i);
            return true;
        }
    }
    return false;
}

std::string Field(const std::string& bytes) {
    return TsvEscape(BytesToU16(bytes));
}

bool Unfield(const std::string& text, std::string* bytes) {
    if (text.empty()) {
        bytes->clear();
        return true;
    }
    std::u16string path;
    if (!TsvUnescape(text, &path)) {
        return false;
    }
    *bytes = U16ToBytes(path);
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::string Render(const JournalAction& action) {
    std::string out = std::string(kHeader) + "\n";
    out += "what\t" + Field(action.what) + "\n";
    out += "state\t" + std::string(kActionStateNames[static_cast<int>(action.state)]) + "\n";
    for (const JournalStep& step : action.steps) {
        out += std::string(kKindNames[static_cast<int>(step.kind)]) + "\t" +
               kStepStateNames[static_cast<int>(step.state)] + "\t" + Field(step.path) + "\t" +
               Field(step.place) + "\t" + Field(step.info) + "\t" + Field(step.reason) + "\n";
    }
    // The end line tells a whole file from a cut one.
    return out + "end\n";
}

bool Parse(const std::string& text, JournalAction* action) {
    const std::string end = "\nend\n";
    if (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0) {
        return false;
    }
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader) {
        return false;
    }
    bool ended = false;
    while (std::getline(in, line)) {
        if (ended) {
            return false;
        }
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() == 1 && fields[0] == "end") {
            ended = true;
        } else if (fields.size() == 2 && fields[0] == "what") {
            if (!Unfield(fields[1], &action->what)) {
                return false;
            }
        } else if (fields.size() == 2 && fields[0] == "state") {
            if (!ParseName(fields[1], kActionStateNames, &action->state)) {
                return false;
            }
        } else if (fields.size() == 6) {
            JournalStep step;
            if (!ParseName(fields[0], kKindNames, &step.kind) ||
                !ParseName(fields[1], kStepStateNames, &step.state) ||
                !Unfield(fields[2], &step.path) || step.path.empty() ||
                !Unfield(fields[3], &step.place) || !Unfield(fields[4], &step.info) ||
                !Unfield(fields[5], &step.reason)) {
                return false;
            }
            action->steps.push_back(std::move(step));
        } else {
            return false;
        }
    }
    return ended && !action->what.empty();
}

// The number in an action file's name; false for every other name.
bool NumberOf(const std::string& name, uint64_t* number) {
    const std::string prefix = kPrefix;
    const std::string suffix = kSuffix;
    if (name.size() != prefix.size() + kNumberDigits + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    *number = 0;
    for (size_t i = prefix.size(); i < prefix.size() + kNumberDigits; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
        *number = *number * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    return true;
}

std::string ReadText(const std::string& path) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (file < 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(FileSize(file)), '\0');
    if (!ReadAll(file, reinterpret_cast<unsigned char*>(text.data()), text.size(), 0)) {
        text.clear();
    }
    close(file);
    return text;
}

}  // namespace

std::string RewriteStamp(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::string();
    }
    constexpr int64_t kNanosecondsPerSecond = 1000000000;
    return std::to_string(info.st_size) + " " +
           std::to_string(static_cast<int64_t>(info.st_mtim.tv_sec) * kNanosecondsPerSecond +
                          info.st_mtim.tv_nsec);
}

std::string ActionJournal::DefaultFolder() {
    const std::string folder = ProgramUserFolder("XDG_DATA_HOME", ".local/share");
    return folder.empty() ? folder : folder + "/journal";
}

ActionJournal::ActionJournal(std::string folder, size_t kept)
    : m_folder(std::move(folder)), m_kept(kept) {}

ActionJournal::~ActionJournal() {
    Unlock();
}

std::string ActionJournal::ActionFile(uint64_t number) const {
    char name[64];
    std::snprintf(name, sizeof(name), "%s%0*" PRIu64 "%s", kPrefix, kNumberDigits, number, kSuffix);
    return m_folder + "/" + name;
}

std::string ActionJournal::SavedFolder(uint64_t number) const {
    return ActionFile(number) + kSavedSuffix;
}

HRESULT ActionJournal::Lock() {
    if (m_lock >= 0) {
        return S_OK;
    }
    if (m_folder.empty() || !MakeFolders(m_folder, true)) {
        return E_FAIL;
    }
    const std::string path = m_folder + "/" + kLockName;
    m_lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
    if (m_lock < 0) {
        return E_FAIL;
    }
    if (flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        close(m_lock);
        m_lock = -1;
        return E_JOURNAL_BUSY;
    }
    return S_OK;
}

void ActionJournal::Unlock() {
    if (m_lock >= 0) {
        close(m_lock);  // releases the flock
        m_lock = -1;
    }
}

HRESULT ActionJournal::Begin(const std::string& what) {
    if (const HRESULT locked = Lock(); Failed(locked)) {
        return locked;
    }
    uint64_t newest = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        uint64_t number = 0;
        if (NumberOf(entry.path().filename().string(), &number)) {
            newest = std::max(newest, number);
        }
    }
    if (error) {
        Unlock();
        return E_FAIL;
    }
    m_open = JournalAction{newest + 1, ActionState::kOpen, what.empty() ? "act" : what, {}};
    return S_OK;
}

HRESULT ActionJournal::Write() {
    return current() == nullptr ? E_FAIL : Store(m_open);
}

HRESULT ActionJournal::Store(const JournalAction& action) const {
    const std::string path = ActionFile(action.number);
    const int file = CreateReplacement(path);
    if (file < 0) {
        return E_FAIL;
    }
    const std::string text = Render(action);
    const bool written =
        WriteAll(file, reinterpret_cast<const unsigned char*>(text.data()), text.size(), 0);
    if (!CommitReplacement(file, path, written)) {
        return E_FAIL;
    }
    close(file);
    return S_OK;
}

HRESULT ActionJournal::SaveBeforeRewrite(const std::string& path) {
    if (current() == nullptr) {
        return E_FAIL;
    }
    const std::string folder = SavedFolder(m_open.number);
    const std::string saved = folder + "/" + std::to_string(m_open.steps.size());
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat source {};
    if (in < 0 || fstat(in, &source) != 0 || !S_ISREG(source.st_mode) ||
        !MakeFolders(folder, true)) {
        if (in >= 0) {
            close(in);
        }
        return E_FAIL;
    }
    const int out =
        ::open(saved.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
    const auto size = static_cast<uint64_t>(source.st_size);
    const bool copied =
        out >= 0 && CopyRange(in, 0, out, 0, size) && FileSize(out) == size && fsync(out) == 0;
    close(in);
    if (out >= 0) {
        close(out);
    }
    if (!copied) {
        unlink(saved.c_str());
        return E_FAIL;
    }
    m_open.steps.push_back({StepKind::kRewrite, StepState::kPlanned, path, saved, {}, {}});
    if (Failed(Write())) {
        m_open.steps.pop_back();
        unlink(saved.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT ActionJournal::Complete() {
    if (current() == nullptr) {
        return E_FAIL;
    }
    for (JournalStep& step : m_open.steps) {
        if (step.kind == StepKind::kRewrite && step.state == StepState::kPlanned) {
            step.state = StepState::kDone;
            step.info = RewriteStamp(step.path);
        }
    }
    m_open.state = ActionState::kDone;
    // An action that touched nothing is nothing to take back.
    const bool touched =
        std::any_of(m_open.steps.begin(), m_open.steps.end(),
                    [](const JournalStep& s) { return s.state == StepState::kDone; });
    HRESULT result = S_OK;
    if (touched) {
        result = Store(m_open);
    } else {
        Remove(m_open);
    }
    m_open = JournalAction{};
    Prune();
    Unlock();
    return result;
}

std::string ActionJournal::LastDone() const {
    const std::vector<JournalAction> actions = Load();
    for (auto action = actions.rbegin(); action != actions.rend(); ++action) {
        if (action->state == ActionState::kDone) {
            return action->what;
        }
    }
    return {};
}

std::vector<JournalAction> ActionJournal::Load(size_t* damaged) const {
    std::vector<JournalAction> actions;
    size_t bad = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        JournalAction action;
        if (!NumberOf(entry.path().filename().string(), &action.number)) {
            continue;
        }
        if (Parse(ReadText(entry.path().string()), &action)) {
            actions.push_back(std::move(action));
        } else {
            ++bad;
        }
    }
    std::sort(actions.begin(), actions.end(),
              [](const JournalAction& a, const JournalAction& b) { return a.number < b.number; });
    if (damaged != nullptr) {
        *damaged = bad;
    }
    return actions;
}

void ActionJournal::Remove(const JournalAction& action) const {
    std::error_code error;
    std::filesystem::remove_all(SavedFolder(action.number), error);
    unlink(ActionFile(action.number).c_str());
}

void ActionJournal::Prune() const {
    std::vector<JournalAction> actions = Load();
    size_t done = 0;
    for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
        if (it->state == ActionState::kUndone ||
            (it->state == ActionState::kDone && ++done > m_kept)) {
            Remove(*it);
        }
    }
}
