#include "system/output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace rs {

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

// Writes all of text to the descriptor; false with errno set when it cannot.
bool WriteAll(int descriptor, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(descriptor, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string WriteInPlace(const OutputTarget& target, const std::string& text) {
    const int descriptor = open(target.path.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return target.name + ": cannot open: " + Reason(errno);
    }
    const bool written = WriteAll(descriptor, text.data(), text.size());
    const int error = errno;
    close(descriptor);
    return written ? std::string() : target.name + ": cannot write: " + Reason(error);
}

}  // namespace

std::string CheckOutput(const std::string& name, const std::filesystem::path& path,
                        OutputTarget& target) {
    target = {};
    target.name = name;
    std::error_code error;
    // A link, or a chain of them, names the file it ends at; a dangling one, the file it
    // would create there.
    std::filesystem::path resolved = path;
    for (int hops = 0; std::filesystem::is_symlink(resolved, error); ++hops) {
        if (hops == 40) {
            return name + ": cannot write: " + Reason(ELOOP);
        }
        const std::filesystem::path next = std::filesystem::read_symlink(resolved, error);
        if (error) {
            return name + ": cannot follow the link: " + error.message();
        }
        resolved = next.is_absolute() ? next : resolved.parent_path() / next;
    }
    target.path = resolved;
    struct stat status {};
    if (stat(resolved.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            return name + ": cannot create: " + Reason(EISDIR);
        }
        target.exists = true;
        target.device = status.st_dev;
        target.inode = status.st_ino;
        if (!S_ISREG(status.st_mode)) {
            target.kind = OutputKind::kStream;
            if (access(resolved.c_str(), W_OK) != 0) {
                return name + ": cannot write: " + Reason(errno);
            }
            return {};
        }
    } else if (errno != ENOENT) {
        return name + ": cannot write: " + Reason(errno);
    }
    // Regular and new files are created or replaced in their folder.
    const std::filesystem::path folder = resolved.parent_path();
    const std::string where = folder.empty() ? "." : folder.string();
    struct stat folderStatus {};
    if (stat(where.c_str(), &folderStatus) != 0) {
        return name + ": cannot write there: " + Reason(errno);
    }
    if (!S_ISDIR(folderStatus.st_mode)) {
        return name + ": cannot write there: " + Reason(ENOTDIR);
    }
    if (access(where.c_str(), W_OK | X_OK) != 0) {
        return name + ": cannot write there: " + Reason(errno);
    }
    return {};
}

std::string CheckDistinct(const std::vector<OutputTarget>& targets) {
    for (std::size_t i = 0; i < targets.size(); ++i) {
        for (std::size_t j = i + 1; j < targets.size(); ++j) {
            const OutputTarget& a = targets[i];
            const OutputTarget& b = targets[j];
            const bool sameFile = a.exists && b.exists
                                      ? a.device == b.device && a.inode == b.inode
                                      : a.path.lexically_normal() == b.path.lexically_normal();
            if (!sameFile) {
                continue;
            }
            struct stat status {};
            if (a.exists && stat(a.path.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) {
                continue;  // /dev/null takes any number of outputs
            }
            return a.name + " and " + b.name + " are the same file: each would overwrite the other";
        }
    }
    return {};
}

std::filesystem::path AsidePath(const OutputTarget& target) {
    if (target.kind == OutputKind::kStream) {
        return std::filesystem::temp_directory_path() /
               (".rs-sim-" + std::to_string(getpid()) + "-" + target.path.filename().string());
    }
    return target.path.parent_path() / (".partial-" + target.path.filename().string());
}

std::string PutInPlace(const OutputTarget& target, const std::filesystem::path& aside) {
    std::error_code error;
    if (target.kind == OutputKind::kReplace) {
        std::filesystem::rename(aside, target.path, error);
        if (error) {
            std::filesystem::remove(aside, error);
            return target.name + ": cannot replace: " + error.message();
        }
        return {};
    }
    std::ifstream in(aside, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(aside, error);
    return WriteInPlace(target, text);
}

std::string WriteWhole(const OutputTarget& target, const std::string& text) {
    if (target.kind == OutputKind::kStream) {
        return WriteInPlace(target, text);
    }
    const std::filesystem::path aside = AsidePath(target);
    const int descriptor = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                                S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH);
    if (descriptor < 0) {
        return target.name + ": cannot create: " + Reason(errno);
    }
    const bool written = WriteAll(descriptor, text.data(), text.size());
    const int error = errno;
    const bool closed = close(descriptor) == 0;
    if (!written || !closed) {
        std::error_code ignored;
        std::filesystem::remove(aside, ignored);
        return target.name + ": cannot write: " + Reason(written ? errno : error);
    }
    return PutInPlace(target, aside);
}

}  // namespace rs
