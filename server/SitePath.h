#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vessaro {

// A request path as the client sent it ("/match/adv%2Ehtml", without the query), decoded and
// checked before anything looks at the disk. status is 200 with path set ("/match/adv.html", empty
// segments dropped), 400 for a malformed escape or a NUL byte, 404 for a path that names a parent
// (".."), the folder itself (".") or a hidden file (".git"): none of those is a page of the site.
struct RequestPath {
    int status = 200;
    std::string path;
};
RequestPath DecodeRequestPath(std::string_view raw);

// The Content-Type for a file name, by its extension; application/octet-stream when unknown.
std::string ContentTypeFor(std::string_view fileName);

// An open regular file of the site; closes the descriptor unless Release hands it on.
class SiteFile {
public:
    SiteFile() = default;
    SiteFile(int fd, uint64_t size, std::string name)
        : fd_(fd), size_(size), name_(std::move(name)) {}
    SiteFile(SiteFile&& other) noexcept;
    SiteFile& operator=(SiteFile&& other) noexcept;
    ~SiteFile();

    bool IsOpen() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }
    const std::string& name() const { return name_; } // the real path, for its content type
    int Release();

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    std::string name_;
};

// The folder the site is served from. Every file it opens lies inside the folder's real path once
// all links are resolved: a link that leads outside is treated as missing.
class SiteFolder {
public:
    // Null, with the reason in error, when dir is missing, not a folder or not readable.
    static std::unique_ptr<SiteFolder> Open(const std::string& dir, std::string& error);

    // The file a decoded path names; for a folder, its index.html. Not open when there is none
    // inside the site.
    SiteFile OpenFile(const std::string& path) const;

private:
    explicit SiteFolder(std::string root) : root_(std::move(root)) {}
    // The real path of candidate when it is inside the folder, otherwise empty.
    std::string Confine(const std::string& candidate) const;

    std::string root_; // real path, no trailing slash
};

} // namespace vessaro
