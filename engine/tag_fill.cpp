#include "tag_fill.h"

#include "file_io.h"
#include "sibling_file.h"
#include "tag_pictures.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <optional>

namespace {

using TagLib::String;

constexpr std::array<KeeperField, 6> kTextFields = {KeeperField::kTitle, KeeperField::kArtist,
                                                    KeeperField::kAlbum, KeeperField::kYear,
                                                    KeeperField::kTrack, KeeperField::kGenre};

TagLib::FileRef Open(const std::string& path, bool audio = false) {
    return TagLib::FileRef(path.c_str(), audio);
}

bool Readable(const TagLib::FileRef& ref) {
    return !ref.isNull() && ref.tag() != nullptr;
}

// TagLib takes any bytes for an MP3 with empty tags; a keeper must also
// show audio of its format, so that no tag is ever written into a file that
// is something else by now.
bool ReadableAudio(const TagLib::FileRef& ref) {
    return Readable(ref) && ref.audioProperties() != nullptr &&
           ref.audioProperties()->sampleRate() > 0;
}

std::string Utf8(const String& s) {
    return s.stripWhiteSpace().to8Bit(true);
}

// The field as text; empty when the file lacks it (a year or track of 0 is
// how TagLib says none).
std::string TextField(TagLib::Tag* tag, KeeperField field) {
    auto number = [](unsigned n) { return n == 0 ? std::string() : std::to_string(n); };
    switch (field) {
        case KeeperField::kTitle:
            return Utf8(tag->title());
        case KeeperField::kArtist:
            return Utf8(tag->artist());
        case KeeperField::kAlbum:
            return Utf8(tag->album());
        case KeeperField::kYear:
            return number(tag->year());
        case KeeperField::kTrack:
            return number(tag->track());
        case KeeperField::kGenre:
            return Utf8(tag->genre());
        case KeeperField::kCover:
            break;
    }
    return std::string();
}

bool SetTextField(TagLib::Tag* tag, KeeperField field, const std::string& value) {
    const String text(value, String::UTF8);
    unsigned number = 0;
    const bool numeric =
        std::from_chars(value.data(), value.data() + value.size(), number).ec == std::errc() &&
        number > 0;
    switch (field) {
        case KeeperField::kTitle:
            tag->setTitle(text);
            return true;
        case KeeperField::kArtist:
            tag->setArtist(text);
            return true;
        case KeeperField::kAlbum:
            tag->setAlbum(text);
            return true;
        case KeeperField::kYear:
            tag->setYear(number);
            return numeric;
        case KeeperField::kTrack:
            tag->setTrack(number);
            return numeric;
        case KeeperField::kGenre:
            tag->setGenre(text);
            return true;
        case KeeperField::kCover:
            break;
    }
    return false;
}

// Saves in place the file of ref, which is our private copy. An MP3 keeps
// the ID3v2 version it had, and gains no ID3v1 or APE tag it did not have:
// some players read only what they knew before.
bool Save(TagLib::FileRef& ref, bool hadId3v2, int id3v2Version, bool hadId3v1, bool hadApe) {
    auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file());
    if (mpeg == nullptr) {
        return ref.save();
    }
    int tags = TagLib::MPEG::File::ID3v2;
    if (hadId3v1) {
        tags |= TagLib::MPEG::File::ID3v1;
    }
    if (hadApe) {
        tags |= TagLib::MPEG::File::APE;
    }
    const TagLib::ID3v2::Version version =
        hadId3v2 && id3v2Version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
    return mpeg->save(tags, TagLib::File::StripNone, version, TagLib::File::DoNotDuplicate);
}

class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path)
        : m_file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFile() {
        if (m_file >= 0) {
            close(m_file);
        }
    }
    int get() const { return m_file; }

  private:
    int m_file;
};

// Fills the fields of plan that the copy still lacks. Returns the fields
// filled (each field's value kept in *written for the read-back), or
// nullopt with *reason set when the copy cannot be tagged.
std::optional<size_t> FillCopy(const KeeperTagPlan& plan, const std::string& copy,
                               std::vector<TagFill>* written, std::string* reason) {
    TagLib::FileRef ref = Open(copy, true);
    if (!ReadableAudio(ref)) {
        *reason = "its tags cannot be read";
        return std::nullopt;
    }
    auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file());
    const bool hadId3v2 = mpeg != nullptr && mpeg->hasID3v2Tag();
    const int id3v2Version =
        hadId3v2 ? static_cast<int>(mpeg->ID3v2Tag()->header()->majorVersion()) : 0;
    const bool hadId3v1 = mpeg != nullptr && mpeg->hasID3v1Tag();
    const bool hadApe = mpeg != nullptr && mpeg->hasAPETag();

    for (const TagFill& fill : plan.fills) {
        if (fill.field == KeeperField::kCover) {
            if (HasPicture(ref.file())) {
                continue;
            }
            TagLib::FileRef source = Open(U16ToBytes(fill.source));
            CoverPicture picture;
            if (!source.isNull() && ReadCoverPicture(source.file(), &picture) &&
                AddCoverPicture(ref.file(), picture)) {
                written->push_back(fill);
            }
        } else if (TextField(ref.tag(), fill.field).empty() &&
                   SetTextField(ref.tag(), fill.field, fill.value)) {
            written->push_back(fill);
        }
    }
    if (written->empty()) {
        return 0;
    }
    if (!Save(ref, hadId3v2, id3v2Version, hadId3v1, hadApe)) {
        *reason = "TagLib cannot save tags in this file";
        return std::nullopt;
    }
    return written->size();
}

// Whether the saved copy reads back with every written field.
bool ReadsBack(const std::string& copy, const std::vector<TagFill>& written) {
    TagLib::FileRef ref = Open(copy);
    if (!Readable(ref)) {
        return false;
    }
    return std::all_of(written.begin(), written.end(), [&](const TagFill& fill) {
        return fill.field == KeeperField::kCover ? HasPicture(ref.file())
                                                 : TextField(ref.tag(), fill.field) == fill.value;
    });
}

// Writes one keeper; false with *reason when it stays as it was.
bool WriteKeeper(const KeeperTagPlan& plan, const BeforeRewrite& beforeRewrite,
                 TagFillResult* result, std::string* reason) {
    const std::string path = U16ToBytes(plan.keeper);
    // A link stays a link; the file it leads to is the one retagged.
    const std::string target = ReplacedPath(path);
    ReadOnlyFile original(target);
    struct stat before {};
    if (original.get() < 0 || fstat(original.get(), &before) != 0) {
        *reason = "it cannot be opened";
        return false;
    }
    if (!S_ISREG(before.st_mode)) {
        *reason = "it is not a regular file";
        return false;
    }
    SiblingFile copy;
    if (!copy.Create(target, before)) {
        *reason = "no file can be made in its folder";
        return false;
    }
    if (!CopyRange(original.get(), 0, copy.file(), 0, static_cast<uint64_t>(before.st_size))) {
        *reason = "it cannot be copied (is the disk full?)";
        return false;
    }
    std::vector<TagFill> written;
    const std::optional<size_t> filled = FillCopy(plan, copy.path(), &written, reason);
    if (!filled) {
        return false;
    }
    if (*filled == 0) {
        return true;  // it has every field by now: nothing to write
    }
    if (!ReadsBack(copy.path(), written)) {
        *reason = "the written tags do not read back";
        return false;
    }
    struct stat now {};
    if (stat(target.c_str(), &now) != 0 || !SameStamp(before, now)) {
        *reason = "it changed while its tags were written";
        return false;
    }
    if (beforeRewrite && Failed(beforeRewrite(path))) {
        *reason = "its old bytes cannot be kept for an undo";
        return false;
    }
    if (!copy.Place(target)) {
        *reason = "the tagged copy cannot take its place";
        return false;
    }
    ++result->filesWritten;
    result->fieldsFilled += *filled;
    return true;
}

}  // namespace

const char* KeeperFieldName(KeeperField field) {
    switch (field) {
        case KeeperField::kTitle:
            return "title";
        case KeeperField::kArtist:
            return "artist";
        case KeeperField::kAlbum:
            return "album";
        case KeeperField::kYear:
            return "year";
        case KeeperField::kTrack:
            return "track";
        case KeeperField::kGenre:
            return "genre";
        case KeeperField::kCover:
            return "cover";
    }
    return "";
}

KeeperTagPlan PlanKeeperTags(const std::vector<GroupMember>& members) {
    KeeperTagPlan plan;
    if (members.empty()) {
        plan.problem = "the group is empty";
        return plan;
    }
    plan.keeper = members[0].path;
    TagLib::FileRef keeper = Open(U16ToBytes(plan.keeper), true);
    if (!ReadableAudio(keeper)) {
        plan.problem = "its tags cannot be read";
        return plan;
    }
    std::vector<KeeperField> missing;
    for (KeeperField field : kTextFields) {
        if (TextField(keeper.tag(), field).empty()) {
            missing.push_back(field);
        }
    }
    if (HoldsPictures(keeper.file()) && !HasPicture(keeper.file())) {
        missing.push_back(KeeperField::kCover);
    }

    // A duplicate matches the keeper's own content, so its tags are the
    // surest; then the reference and linked copies in the group's order.
    // Within that order the first copy that has a field gives it.
    std::vector<const GroupMember*> sources;
    for (bool duplicates : {true, false}) {
        for (size_t i = 1; i < members.size(); ++i) {
            const FileRole role = members[i].role;
            if (role != FileRole::kKeeper && role != FileRole::kTagsOnly &&
                (role == FileRole::kDuplicate) == duplicates) {
                sources.push_back(&members[i]);
            }
        }
    }
    for (const GroupMember* source : sources) {
        if (missing.empty()) {
            break;
        }
        TagLib::FileRef copy = Open(U16ToBytes(source->path));
        if (!Readable(copy)) {
            continue;
        }
        std::erase_if(missing, [&](KeeperField field) {
            std::string value;
            CoverPicture picture;
            if (field != KeeperField::kCover) {
                value = TextField(copy.tag(), field);
            } else if (ReadCoverPicture(copy.file(), &picture)) {
                value = picture.mimeType;
            }
            if (value.empty()) {
                return false;
            }
            plan.fills.push_back({field, source->path, std::move(value), picture.data.size()});
            return true;
        });
    }
    std::sort(plan.fills.begin(), plan.fills.end(),
              [](const TagFill& a, const TagFill& b) { return a.field < b.field; });
    return plan;
}

TagFillResult WriteKeeperTags(const std::vector<KeeperTagPlan>& plans,
                              const BeforeRewrite& beforeRewrite) {
    TagFillResult result;
    for (const KeeperTagPlan& plan : plans) {
        if (plan.fills.empty()) {
            continue;
        }
        std::string reason;
        if (!WriteKeeper(plan, beforeRewrite, &result, &reason)) {
            result.failures.push_back({plan.keeper, reason});
        }
    }
    return result;
}
