#include "stream_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool StreamFile::Open(const std::string& path) {
    Close();
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the file
    // is refused below anyway unless it is a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_fd = fd;
    return true;
}

void StreamFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool StreamFile::Size(uint64_t* size) const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || st.st_size < 0) {
        return false;
    }
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool StreamFile::Read(void* buffer, size_t count, size_t* got) {
    *got = 0;
    if (m_fd < 0) {
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    // A regular file may still return less than asked (signals, network file
    // systems); only a return of 0 marks the end.
    while (*got < count) {
        const ssize_t n = ::read(m_fd, out + *got, count - *got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            break;
        }
        *got += static_cast<size_t>(n);
    }
    return true;
}

bool StreamFile::ReadExact(void* buffer, size_t count) {
    size_t got = 0;
    return Read(buffer, count, &got) && got == count;
}

bool StreamFile::Seek(int64_t offset, Origin origin) {
    if (m_fd < 0) {
        return false;
    }
    const int whence = origin == Origin::Begin     ? SEEK_SET
                       : origin == Origin::Current ? SEEK_CUR
                                                   : SEEK_END;
    return ::lseek(m_fd, static_cast<off_t>(offset), whence) >= 0;
}

bool StreamFile::Tell(uint64_t* position) const {
    if (m_fd < 0) {
        return false;
    }
    const off_t at = ::lseek(m_fd, 0, SEEK_CUR);
    if (at < 0) {
        return false;
    }
    *position = static_cast<uint64_t>(at);
    return true;
}
