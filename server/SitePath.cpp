#include "SitePath.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vessaro {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decodes raw into out; false for a truncated or non-hex escape or a NUL byte, which no
// file name can hold and which would cut the name short further down.
bool PercentDecode(std::string_view raw, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size())
                return false;
            const int high = HexValue(raw[i + 1]);
            const int low = HexValue(raw[i + 2]);
            if (high < 0 || low < 0)
                return false;
            c = char(high * 16 + low);
            i += 2;
        }
        if (c == '\0')
            return false;
        out += c;
    }
    return true;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (!realpath(path.c_str(), buffer))
        return {};
    return buffer;
}

} // namespace

RequestPath DecodeRequestPath(std::string_view raw) {
    std::string decoded;
    if (raw.empty() || raw.front() != '/' || !PercentDecode(raw, decoded))
        return {400, {}};
    RequestPath result;
    std::size_t start = 0;
    while (start <= decoded.size()) {
        std::size_t end = decoded.find('/', start);
        if (end == std::string::npos)
            end = decoded.size();
        std::string_view segment(decoded.data() + start, end - start);
        if (!segment.empty()) {
            if (segment.front() == '.')
                return {404, {}};
            result.path += '/';
            result.path += segment;
        }
        start = end + 1;
    }
    if (result.path.empty())
        result.path.push_back('/');
    return result;
}

std::string ContentTypeFor(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return "application/octet-stream";
    const std::string ext = Lower(fileName.substr(dot + 1));
    static const struct {
        const char* ext;
        const char* type;
    } kTypes[] = {
        {"html", "text/html; charset=utf-8"},
        {"htm", "text/html; charset=utf-8"},
        {"css", "text/css; charset=utf-8"},
        {"js", "text/javascript; charset=utf-8"},
        {"txt", "text/plain; charset=utf-8"},
        {"png", "image/png"},
        {"svg", "image/svg+xml"},
        {"ico", "image/x-icon"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"json", "application/json"},
    };
    for (const auto& entry : kTypes)
        if (ext == entry.ext)
            return entry.type;
    return "application/octet-stream";
}

SiteFile::SiteFile(SiteFile&& other) noexcept
    : fd_(other.fd_), size_(other.size_), name_(std::move(other.name_)) {
    other.fd_ = -1;
}

SiteFile& SiteFile::operator=(SiteFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = other.fd_;
        size_ = other.size_;
        name_ = std::move(other.name_);
        other.fd_ = -1;
    }
    return *this;
}

SiteFile::~SiteFile() {
    if (fd_ >= 0)
        close(fd_);
}

int SiteFile::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

std::unique_ptr<SiteFolder> SiteFolder::Open(const std::string& dir, std::string& error) {
    const std::string root = RealPath(dir);
    struct stat info {};
    if (root.empty() || stat(root.c_str(), &info) != 0) {
        error = "no site folder at " + dir + ": " + std::strerror(errno);
        return nullptr;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = "the site folder " + dir + " is not a folder";
        return nullptr;
    }
    if (access(root.c_str(), R_OK | X_OK) != 0) {
        error = "cannot read the site folder " + dir + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<SiteFolder>(new SiteFolder(root == "/" ? "" : root));
}

std::string SiteFolder::Confine(const std::string& candidate) const {
    std::string real = RealPath(candidate);
    if (real.empty())
        return {};
    if (real == root_ || (real.size() > root_.size() && real.compare(0, root_.size(), root_) == 0 &&
                          real[root_.size()] == '/'))
        return real;
    return {};
}

SiteFile SiteFolder::OpenFile(const std::string& path) const {
    std::string real = Confine(root_ + path);
    struct stat info {};
    if (real.empty() || stat(real.c_str(), &info) != 0)
        return {};
    if (S_ISDIR(info.st_mode)) {
        real = Confine(real + "/index.html");
        if (real.empty() || stat(real.c_str(), &info) != 0)
            return {};
    }
    if (!S_ISREG(info.st_mode))
        return {};
    // The real path has no links left; a link put in its place since then is refused.
    const int fd = open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return {};
    SiteFile file(fd, 0, real);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return SiteFile(file.Release(), uint64_t(info.st_size), real);
}

} // namespace vessaro
