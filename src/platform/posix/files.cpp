#include "platform/posix/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <string>

namespace wgs::posix {

namespace {

// Closes the descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports whether the kernel accepted it (a delayed write
    // error of a network file system shows up here). EINTR still closes on Linux.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || errno == EINTR;
    }

private:
    int fd_;
};

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that a write to `path` must replace: a symbolic link at `path` is
// followed (also to a target that does not exist yet), so that the link stays
// a link. Links in the directories above are left to the kernel.
bool resolveTarget(const std::string& path, std::string& target) {
    target = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0) return errno == ENOENT;
        if (!S_ISLNK(st.st_mode)) return true;
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(target.c_str(), &link[0], link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return false;
        link.resize(static_cast<std::size_t>(length));
        if (link.empty()) return false;
        target = link[0] == '/' ? link : directoryOf(target) + "/" + link;
    }
    return false;  // a loop of links
}

// A new, empty file beside the target that no one else can have opened:
// O_EXCL refuses a name that exists (and any link planted under it).
int createTemporary(const std::string& target, std::string& temporaryPath) {
    static std::atomic<std::uint64_t> counter{0};
    const std::string prefix = directoryOf(target) + "/." + fileNameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks =
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        temporaryPath = prefix + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                        std::to_string(ticks % 1000000007u) + ".tmp";
        const int fd =
            ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void ignoreFailure(int) {}

bool syncDescriptor(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; a regular file ignores it.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return false;
    struct stat st;
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

    std::string content;
    if (st.st_size > 0) content.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    bytes.swap(content);
    return true;
}

bool replaceWholeFile(const std::string& path, const std::string& bytes) {
    std::string target;
    if (path.empty() || !resolveTarget(path, target)) return false;

    // An existing file is replaced only if it could be rewritten in place: a
    // regular file that we may read and write. The rename alone would need
    // nothing but a writable directory, and would overwrite a file that its
    // owner made read-only, or one that the caller could not read first.
    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists &&
        (!S_ISREG(old.st_mode) || ::faccessat(AT_FDCWD, target.c_str(), R_OK | W_OK, AT_EACCESS) != 0)) {
        return false;
    }

    std::string temporaryPath;
    Descriptor temporary(createTemporary(target, temporaryPath));
    if (temporary.get() < 0) return false;

    if (exists) {
        // The new file keeps the old one's permissions and, where we may, its
        // owner. Both are best effort: only root may give a file away, and a
        // file system without permissions (FAT) refuses.
        ignoreFailure(::fchown(temporary.get(), old.st_uid, old.st_gid));
        ignoreFailure(::fchmod(temporary.get(), old.st_mode & 07777));
    }
    bool ok = true;
    ok = ok && writeAll(temporary.get(), bytes) && syncDescriptor(temporary.get());
    ok = temporary.close() && ok;
    ok = ok && ::rename(temporaryPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporaryPath.c_str());
        return false;
    }

    // Make the rename itself durable. It has happened already, so a file system
    // that cannot sync a directory does not turn the write into a failure.
    Descriptor directory(::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) syncDescriptor(directory.get());
    return true;
}

}  // namespace wgs::posix
