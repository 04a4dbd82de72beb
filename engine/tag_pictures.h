// The cover picture of a file opened with TagLib, read and added in each
// format's own way (ID3v2 APIC frames, FLAC picture blocks, Vorbis comment
// pictures, MP4 "covr" atoms, ASF WM/Picture attributes), since TagLib
// offers no single call for it. The caller owns the file; one thread per file.
#pragma once

#include <string>

namespace TagLib {
class File;
}

struct CoverPicture {
    std::string data;  // the image file's bytes
    std::string mimeType;
};

// Whether file's format can hold a picture here.
bool HoldsPictures(TagLib::File* file);

// Whether file holds at least one picture.
bool HasPicture(TagLib::File* file);

// The front cover of file, else its first picture. false when it has none
// or the picture is not a JPEG, PNG, GIF or BMP image (told by its bytes,
// whatever its tag says).
bool ReadCoverPicture(TagLib::File* file, CoverPicture* picture);

// Adds picture as the front cover of file in memory; the caller saves.
// false when file's format holds no pictures.
bool AddCoverPicture(TagLib::File* file, const CoverPicture& picture);
