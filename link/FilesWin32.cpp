#include "link/Files.h"

#include "link/Win32Text.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace tessary::link {

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

std::string LastErrorText() { return SystemErrorText(static_cast<int>(::GetLastError())); }

bool IsMissing(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

// "\\.\COM1", "\\?\GLOBALROOT\...": the device namespace, never a file.
bool IsDevicePath(const std::string& path) { return path.rfind("\\\\.\\", 0) == 0; }

std::string TooBig(std::size_t maxBytes) {
    if (maxBytes >= 1024 * 1024 && maxBytes % (1024 * 1024) == 0)
        return "it is larger than " + std::to_string(maxBytes / 1024 / 1024) + " MiB";
    return "it is larger than " + std::to_string(maxBytes) + " bytes";
}

// Why an open handle is not a regular file; empty when it is one.
std::string NotRegular(HANDLE h) {
    const DWORD type = ::GetFileType(h);
    if (type == FILE_TYPE_PIPE) return "it is a FIFO";
    if (type != FILE_TYPE_DISK) return "it is a device";
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return "it is a folder";
    return {};
}

bool SizeOf(HANDLE h, std::uint64_t& size) {
    LARGE_INTEGER s{};
    if (!::GetFileSizeEx(h, &s)) return false;
    size = static_cast<std::uint64_t>(s.QuadPart);
    return true;
}

bool Truncate(HANDLE h, std::uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
}

// WriteFile takes a DWORD: large texts go in pieces.
DWORD Piece(std::size_t left) { return static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30)); }

}  // namespace

std::string SystemErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0,
                                     nullptr);
    std::string out = n && text ? Narrow(std::wstring(text, n)) : "system error " + std::to_string(code);
    if (text) ::LocalFree(text);
    // "Access is denied.\r\n" reads as the errno texts do: no stop, no line end.
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

bool RegularFileSize(const std::string& path, std::uint64_t& size, std::string& error) {
    ::SetLastError(ERROR_SUCCESS);  // a folder or a device is not a missing file
    if (IsDevicePath(path)) {
        error = "it is a device";
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD err = ::GetLastError();
        error = SystemErrorText(static_cast<int>(err));
        ::SetLastError(err);  // the caller tells a missing file from the rest
        return false;
    }
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
        error = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "it is a folder" : "it is a device";
        ::SetLastError(ERROR_SUCCESS);
        return false;
    }
    size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

FileText ReadRegularFile(const std::string& path, std::size_t maxBytes) {
    FileText out;
    std::uint64_t size = 0;
    if (!RegularFileSize(path, size, out.error)) {
        out.missing = IsMissing(::GetLastError());
        return out;
    }
    if (size > maxBytes) {
        out.error = TooBig(maxBytes);
        return out;
    }
    Handle in(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.ok()) {
        out.error = LastErrorText();
        return out;
    }
    if (std::string why = NotRegular(in.h); !why.empty()) {  // swapped since the look
        out.error = std::move(why);
        return out;
    }
    std::string text(std::min(static_cast<std::size_t>(size), maxBytes) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > maxBytes) break;
            text.resize(std::min(text.size() * 2, maxBytes + 1));
        }
        DWORD n = 0;
        if (!::ReadFile(in.h, text.data() + got, Piece(text.size() - got), &n, nullptr)) {
            out.error = LastErrorText();
            return out;
        }
        if (n == 0) break;
        got += n;
    }
    if (got > maxBytes) {
        out.error = TooBig(maxBytes);
        return out;
    }
    text.resize(got);
    out.bytes = std::move(text);
    out.ok = true;
    return out;
}

bool AnythingAt(const std::string& path) {
    return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ParentFolder(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return {};
    // "C:\x" -> "C:\", "\x" -> "\".
    if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

std::string MakeFolders(const std::string& path) {
    // Parts that name a drive or a share are there or not; they are never made.
    std::size_t from = 0;
    if (path.size() >= 2 && path[1] == ':') from = 2;
    if (path.rfind("\\\\", 0) == 0) {
        from = path.find_first_of("/\\", 2);                                     // after the server
        if (from != std::string::npos) from = path.find_first_of("/\\", from + 1);  // after the share
        if (from == std::string::npos) from = path.size();
    }
    while (from < path.size()) {
        const auto slash = path.find_first_of("/\\", from + 1);
        const std::string part = path.substr(0, slash);
        from = slash == std::string::npos ? path.size() : slash;
        if (part.empty() || part.back() == '\\' || part.back() == '/' || part.back() == ':') continue;
        if (!::CreateDirectoryW(Widen(part).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return LastErrorText();
    }
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastErrorText();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? std::string() : "it is not a folder";
}

InPlaceWrite WriteInPlace(const std::string& path, std::string_view bytes, bool onlyIntoEmpty) {
    using Code = InPlaceWrite::Code;
    auto result = [](Code code, std::string why) { return InPlaceWrite{code, std::move(why)}; };
    if (IsDevicePath(path)) return result(Code::NotRegular, "it is a device");
    // OPEN_ALWAYS keeps the file itself: its attributes, security and hard links.
    Handle out(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.ok()) {
        const DWORD err = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return result(Code::NotRegular, "it is a folder");
        const bool denied = err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT ||
                            err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
        return result(denied ? Code::Denied : Code::Failed, SystemErrorText(static_cast<int>(err)));
    }
    if (std::string why = NotRegular(out.h); !why.empty()) return result(Code::NotRegular, std::move(why));
    std::uint64_t size = 0;
    if (!SizeOf(out.h, size)) return result(Code::Failed, LastErrorText());
    if (onlyIntoEmpty && size > 0) return result(Code::NotEmpty, "it was made by someone else meanwhile");
    // Room first: a full disk fails here, before the old text is touched.
    if (size < bytes.size() && !Truncate(out.h, bytes.size())) return result(Code::Failed, LastErrorText());
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(out.h, start, nullptr, FILE_BEGIN)) return result(Code::Failed, LastErrorText());
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!::WriteFile(out.h, bytes.data() + done, Piece(bytes.size() - done), &n, nullptr) || n == 0)
            return result(Code::Failed, LastErrorText());
        done += n;
    }
    if (!Truncate(out.h, bytes.size()) || !::FlushFileBuffers(out.h)) return result(Code::Failed, LastErrorText());
    const HANDLE h = std::exchange(out.h, INVALID_HANDLE_VALUE);
    if (!::CloseHandle(h)) return result(Code::Failed, LastErrorText());
    return {};
}

std::string LineFile::Open(const std::string& path, Mode mode) {
    Close();
    if (IsDevicePath(path)) return "it is a device";
    const DWORD how = mode == Mode::CreateNew ? CREATE_NEW : OPEN_ALWAYS;
    // Others may read the file while it grows, and another program may append too.
    Handle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, how,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        const DWORD err = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return "it is a folder";
        return SystemErrorText(static_cast<int>(err));
    }
    if (std::string why = NotRegular(file.h); !why.empty()) return why;
    // Emptied in place rather than made anew: the file keeps its attributes and links.
    if (mode == Mode::Truncate && !Truncate(file.h, 0)) return LastErrorText();
    handle_ = reinterpret_cast<std::intptr_t>(std::exchange(file.h, INVALID_HANDLE_VALUE));
    return {};
}

std::string LineFile::Write(std::string_view bytes) {
    if (handle_ == kNone) return SystemErrorText(ERROR_INVALID_HANDLE);
    const HANDLE h = reinterpret_cast<HANDLE>(handle_);
    std::uint64_t start = 0;
    const bool sized = SizeOf(h, start);
    std::size_t done = 0;
    while (done < bytes.size()) {
        // An offset of all ones writes at the end of the file, whatever else appended meanwhile.
        OVERLAPPED at{};
        at.Offset = 0xFFFFFFFF;
        at.OffsetHigh = 0xFFFFFFFF;
        DWORD n = 0;
        if (!::WriteFile(h, bytes.data() + done, Piece(bytes.size() - done), &n, &at) || n == 0) {
            const DWORD err = n == 0 && ::GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : ::GetLastError();
            // Whole or not at all: a cut line would read as a reading.
            if (done > 0 && sized) Truncate(h, start);
            return SystemErrorText(static_cast<int>(err));
        }
        done += n;
    }
    return {};
}

std::string LineFile::Close() {
    if (handle_ == kNone) return {};
    const HANDLE h = reinterpret_cast<HANDLE>(std::exchange(handle_, kNone));
    return ::CloseHandle(h) ? std::string() : LastErrorText();
}

}  // namespace tessary::link
