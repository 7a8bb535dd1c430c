#include "base/FileIO.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kTempMark[] = ".tmp~";
constexpr std::size_t kTempMarkLength = sizeof kTempMark - 1;
constexpr std::size_t kSuffixLength = 6;
constexpr int kNameAttempts = 100;
constexpr char kSuffixChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsSuffixChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A fresh temporary name for the target. Uniqueness is only likely; callers create the name
// exclusively and draw again when it is taken.
std::string TemporaryName(const std::string& path) {
    static std::atomic<std::uint64_t> counter{0};
    const auto now =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t x = now ^ (static_cast<std::uint64_t>(::getpid()) << 40) ^
                      (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    // splitmix64's finaliser spreads the few changing bits over the whole word.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    std::string name = path + kTempMark;
    for (std::size_t i = 0; i < kSuffixLength; ++i) {
        name += kSuffixChars[x % (sizeof kSuffixChars - 1)];
        x /= sizeof kSuffixChars - 1;
    }
    return name;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

// Makes the new name itself durable.
void SyncFolder(const std::string& dir) {
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

void CloseKeepingErrno(int fd) {
    const int e = errno;
    ::close(fd);
    errno = e;
}

// Gives an unnamed file a name; false with errno (EEXIST when the name is taken).
bool LinkUnnamed(int fd, const std::string& name) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno != ENOENT) {
        return false;
    }
    // Without /proc the descriptor itself can be linked, by a process privileged to do so.
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

enum class Outcome { written, failed, unsupported };

// The write through an unnamed file; unsupported when the file could not be given a name here,
// so that the caller writes under a temporary name instead.
// The mode the new file gets: kKeepMode keeps a replaced file's own.
constexpr int kKeepMode = -1;

void SetMode(int fd, const struct stat* target, int mode) {
    if (mode != kKeepMode) {
        ::fchmod(fd, static_cast<mode_t>(mode));
    } else if (target != nullptr) {
        ::fchmod(fd, target->st_mode & 07777);
    }
}

Outcome WriteThroughUnnamed(int fd, const std::string& path, const struct stat* target,
                            const std::vector<std::uint8_t>& data, int mode) {
    // Held until the descriptor closes, so a temporary name is never taken for a leftover.
    ::flock(fd, LOCK_EX);
    SetMode(fd, target, mode);
    if (!WriteAll(fd, data)) {
        CloseKeepingErrno(fd);
        return Outcome::failed;
    }
    if (target == nullptr) {
        if (LinkUnnamed(fd, path)) {
            ::close(fd);
            return Outcome::written;
        }
        if (errno != EEXIST) {
            CloseKeepingErrno(fd);
            return Outcome::unsupported;
        }
        // The target appeared meanwhile: replace it like any other.
    }
    std::string temp;
    for (int attempt = 0;; ++attempt) {
        temp = TemporaryName(path);
        if (LinkUnnamed(fd, temp)) {
            break;
        }
        if (errno != EEXIST || attempt + 1 == kNameAttempts) {
            CloseKeepingErrno(fd);
            return Outcome::unsupported;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        ::close(fd);
        errno = e;
        return Outcome::failed;
    }
    ::close(fd);
    return Outcome::written;
}

bool WriteThroughTemporaryName(const std::string& path, const struct stat* target,
                               const std::vector<std::uint8_t>& data, int mode) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = TemporaryName(path);
        // 0666 through the umask: the permissions an ordinary new file gets.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    mode != kKeepMode ? static_cast<mode_t>(mode) & 0666 : 0666);
        if (fd < 0 && (errno != EEXIST || attempt + 1 == kNameAttempts)) {
            return false;
        }
    }
    ::flock(fd, LOCK_EX);
    SetMode(fd, target, mode);
    if (!WriteAll(fd, data) || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        ::close(fd);
        errno = e;
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    data.clear();
    std::uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            CloseKeepingErrno(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        data.insert(data.end(), buf, buf + n);
    }
    ::close(fd);
    return true;
}

namespace {

bool WriteWithMode(const std::string& path, const std::vector<std::uint8_t>& data, int mode) {
    const std::string dir = FolderOf(path);
    struct stat st;
    const struct stat* target = ::stat(path.c_str(), &st) == 0 ? &st : nullptr;
    // 0666 through the umask (or the folder's default ACL), as for an ordinary new file.
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    Outcome outcome = Outcome::unsupported;
    if (fd >= 0) {
        outcome = WriteThroughUnnamed(fd, path, target, data, mode);
    }
    if (outcome == Outcome::unsupported) {
        outcome = WriteThroughTemporaryName(path, target, data, mode) ? Outcome::written
                                                                      : Outcome::failed;
    }
    if (outcome != Outcome::written) {
        return false;
    }
    SyncFolder(dir);
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& data) {
    return WriteWithMode(path, data, kKeepMode);
}

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& data,
                         unsigned mode) {
    return WriteWithMode(path, data, static_cast<int>(mode & 07777));
}

bool IsTemporaryFileName(const std::string& name) {
    if (name.size() <= kTempMarkLength + kSuffixLength) {
        return false;
    }
    const std::size_t mark = name.size() - kSuffixLength - kTempMarkLength;
    if (name.compare(mark, kTempMarkLength, kTempMark) != 0) {
        return false;
    }
    for (std::size_t i = name.size() - kSuffixLength; i < name.size(); ++i) {
        if (!IsSuffixChar(name[i])) {
            return false;
        }
    }
    return true;
}

bool IsEarlierTemporaryFileName(const std::string& name, const std::vector<std::string>& targets) {
    if (name.size() < kSuffixLength + 2 || name[name.size() - kSuffixLength - 1] != '.') {
        return false;
    }
    bool lower = true;
    bool upper = true;
    for (std::size_t i = name.size() - kSuffixLength; i < name.size(); ++i) {
        const char c = name[i];
        if (!IsSuffixChar(c)) {
            return false;
        }
        lower = lower && c >= 'a' && c <= 'z';
        upper = upper && c >= 'A' && c <= 'Z';
    }
    if (lower || upper) {
        return false;
    }
    const std::size_t base = name.size() - kSuffixLength - 1;
    for (const std::string& target : targets) {
        if (!target.empty() && target.size() == base && name.compare(0, base, target) == 0) {
            return true;
        }
    }
    return false;
}

int RemoveStaleTemporaryFiles(const std::string& folder, const std::vector<std::string>& targets) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const int dfd = ::dirfd(dir);
    int removed = 0;
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryFileName(name) && !IsEarlierTemporaryFileName(name, targets)) {
            continue;
        }
        const int fd = ::openat(dfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st;
        // A writer holds its lock as long as the name exists; a free lock means a dead writer.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The name must still be this file: the writer may have finished meanwhile.
            struct stat now;
            if (::fstatat(dfd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
                ::unlinkat(dfd, name.c_str(), 0) == 0) {
                ++removed;
            }
        }
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}
