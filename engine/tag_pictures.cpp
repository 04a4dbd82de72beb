#include "tag_pictures.h"

#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/xiphcomment.h>

#include <memory>
#include <string_view>

namespace {

using TagLib::ByteVector;
using TagLib::String;

constexpr int kFrontCover = 3;  // the picture type of a front cover in every format here

std::string Bytes(const ByteVector& bytes) {
    return std::string(bytes.data(), bytes.size());
}
ByteVector Vector(const std::string& bytes) {
    return ByteVector(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

// The type a picture's tag claims is often wrong or missing; players and
// the MP4 format go by what the bytes are.
const char* ImageType(std::string_view data) {
    if (data.starts_with("\xFF\xD8\xFF")) {
        return "image/jpeg";
    }
    if (data.starts_with("\x89PNG\r\n\x1A\n")) {
        return "image/png";
    }
    if (data.starts_with("GIF8")) {
        return "image/gif";
    }
    if (data.starts_with("BM")) {
        return "image/bmp";
    }
    return nullptr;
}

// Takes the first picture of a list, or its front cover when it has one.
class PickCover {
  public:
    void Offer(const ByteVector& data, int type) {
        if (ImageType(std::string_view(data.data(), data.size())) == nullptr) {
            return;
        }
        if (!m_found || (type == kFrontCover && m_type != kFrontCover)) {
            m_data = Bytes(data);
            m_type = type;
            m_found = true;
        }
    }
    bool Take(CoverPicture* picture) const {
        if (m_found) {
            picture->data = m_data;
            picture->mimeType = ImageType(m_data);
        }
        return m_found;
    }

  private:
    std::string m_data;
    int m_type = 0;
    bool m_found = false;
};

TagLib::Ogg::XiphComment* XiphOf(TagLib::File* file) {
    // A FLAC file keeps its pictures in blocks of their own, not in its
    // comment; the Ogg formats keep them in the comment.
    if (dynamic_cast<TagLib::FLAC::File*>(file) != nullptr) {
        return nullptr;
    }
    return dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag());
}

template <typename Visit>
bool VisitPictures(TagLib::File* file, Visit visit) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        if (mpeg->hasID3v2Tag()) {
            for (TagLib::ID3v2::Frame* frame : mpeg->ID3v2Tag()->frameListMap()["APIC"]) {
                if (auto* apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
                    visit(apic->picture(), static_cast<int>(apic->type()));
                }
            }
        }
        return true;
    }
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        for (TagLib::FLAC::Picture* p : flac->pictureList()) {
            visit(p->data(), static_cast<int>(p->type()));
        }
        return true;
    }
    if (TagLib::Ogg::XiphComment* xiph = XiphOf(file)) {
        for (TagLib::FLAC::Picture* p : xiph->pictureList()) {
            visit(p->data(), static_cast<int>(p->type()));
        }
        return true;
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        if (mp4->tag() != nullptr && mp4->tag()->contains("covr")) {
            for (const TagLib::MP4::CoverArt& art : mp4->tag()->item("covr").toCoverArtList()) {
                visit(art.data(), kFrontCover);
            }
        }
        return true;
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        if (asf->tag() != nullptr) {
            for (const TagLib::ASF::Attribute& a : asf->tag()->attribute("WM/Picture")) {
                const TagLib::ASF::Picture p = a.toPicture();
                if (p.isValid()) {
                    visit(p.picture(), static_cast<int>(p.type()));
                }
            }
        }
        return true;
    }
    return false;
}

}  // namespace

bool HoldsPictures(TagLib::File* file) {
    return file != nullptr && VisitPictures(file, [](const ByteVector&, int) {});
}

bool HasPicture(TagLib::File* file) {
    bool any = false;
    return file != nullptr && VisitPictures(file, [&](const ByteVector&, int) { any = true; }) &&
           any;
}

bool ReadCoverPicture(TagLib::File* file, CoverPicture* picture) {
    PickCover pick;
    return file != nullptr &&
           VisitPictures(file, [&](const ByteVector& data, int type) { pick.Offer(data, type); }) &&
           pick.Take(picture);
}

bool AddCoverPicture(TagLib::File* file, const CoverPicture& picture) {
    const ByteVector data = Vector(picture.data);
    const String mime(picture.mimeType, String::UTF8);
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
        frame->setMimeType(mime);
        frame->setPicture(data);
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        mpeg->ID3v2Tag(true)->addFrame(frame.release());
        return true;
    }
    auto flacPicture = [&] {
        auto p = std::make_unique<TagLib::FLAC::Picture>();
        p->setMimeType(mime);
        p->setData(data);
        p->setType(TagLib::FLAC::Picture::FrontCover);
        return p;
    };
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        flac->addPicture(flacPicture().release());
        return true;
    }
    if (TagLib::Ogg::XiphComment* xiph = XiphOf(file)) {
        xiph->addPicture(flacPicture().release());
        return true;
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        using Art = TagLib::MP4::CoverArt;
        const Art::Format format = picture.mimeType == "image/png"   ? Art::PNG
                                   : picture.mimeType == "image/gif" ? Art::GIF
                                   : picture.mimeType == "image/bmp" ? Art::BMP
                                                                     : Art::JPEG;
        TagLib::MP4::CoverArtList list;
        list.append(Art(format, data));
        mp4->tag()->setItem("covr", TagLib::MP4::Item(list));
        return true;
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        TagLib::ASF::Picture p;
        p.setMimeType(mime);
        p.setPicture(data);
        p.setType(TagLib::ASF::Picture::FrontCover);
        asf->tag()->setAttribute("WM/Picture", TagLib::ASF::Attribute(p));
        return true;
    }
    return false;
}
