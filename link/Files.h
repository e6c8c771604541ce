#pragma once
// Files the program reads and the files the operator keeps, behind one small
// interface with one implementation per platform (FilesPosix.cpp,
// FilesWin32.cpp). Paths are UTF-8 in std::string on every platform; the
// Windows side widens them at the call.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace tessary::link {

// A file read whole: only a regular file, opened without blocking (a FIFO or a
// device never hangs the caller), at most `maxBytes`.
struct FileText {
    bool ok = false;
    std::string bytes;
    std::string error;  // why not, as a person reads it: "it is a folder", "No such file or directory"
    bool missing = false;  // nothing at all at the path: a caller with a default takes it quietly
};
FileText ReadRegularFile(const std::string& path, std::size_t maxBytes);

// Whether the path names an existing regular file, and its size; `error` says
// why not (missing, a folder, a FIFO, the system's reason).
bool RegularFileSize(const std::string& path, std::uint64_t& size, std::string& error);

// The system's text for an error number (errno, or GetLastError on Windows).
std::string SystemErrorText(int code);

// Whether anything at all is at the path, a dangling symbolic link included.
bool AnythingAt(const std::string& path);

// The folder part of a path ("" when it has none): '/' splits on POSIX, '/'
// and '\\' on Windows.
std::string ParentFolder(const std::string& path);

// Makes the folder and the folders above it. Empty on success (a folder that
// is there already included), else the system's reason.
std::string MakeFolders(const std::string& path);

// Writes `bytes` over the file in place, creating it when missing: not through
// a temporary and a rename, so the file keeps its mode, owner and hard links,
// and a symbolic link is written through. Room is taken first, so a full disk
// fails before the old text is touched.
struct InPlaceWrite {
    enum class Code {
        Written,
        Denied,      // the system refused the open (permissions, read-only)
        NotRegular,  // a folder, a FIFO, a device: left alone
        NotEmpty,    // `onlyIntoEmpty` and someone else put text there
        Failed,      // anything else, after the open
    };
    Code code = Code::Written;
    std::string error;
};
InPlaceWrite WriteInPlace(const std::string& path, std::string_view bytes, bool onlyIntoEmpty);

// A text from a box (its "ID" answer, its serial) made fit to be part of a
// file name, the same on every platform: path separators, characters that
// some file system refuses, control and 8-bit bytes become "_", a run of dots
// becomes "_", and a leading "-" or "." and trailing dots and blanks go; at
// most kMaxFileNamePart bytes; "unknown" when nothing is left. A box never
// chooses the folder a file goes to, nor hides it, nor turns it into an option.
inline constexpr std::size_t kMaxFileNamePart = 64;
std::string FileNamePart(std::string_view boxText);

// A file the operator keeps: written a whole line at a time, each line one
// write to the end of the file. A line that cannot be written whole (a full
// disk) is cut back off, so the file ends on the last whole line.
class LineFile {
public:
    enum class Mode { Append, Truncate, CreateNew };  // CreateNew fails when the file exists

    LineFile() = default;
    ~LineFile() { Close(); }
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    LineFile(LineFile&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}
    LineFile& operator=(LineFile&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, kNone);
        }
        return *this;
    }

    // Empty on success, else the system's reason.
    std::string Open(const std::string& path, Mode mode);
    // Writes `bytes` (the caller's line end included) whole, or not at all.
    // Empty on success, else the system's reason.
    std::string Write(std::string_view bytes);
    // Empty on success; a failed close (NFS, full disk) gives its reason.
    std::string Close();
    bool IsOpen() const { return handle_ != kNone; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // fd, or a HANDLE on Windows
};

}  // namespace tessary::link
