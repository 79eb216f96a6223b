// Files: an owning handle over an open file, deletion, moves and temporary files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace zelpack::platform {

struct FindData;
class File;
Result<FindData> QueryOpenFile(const File& file);

enum class SeekOrigin { Begin, Current, End };

// What a path names, links followed. Missing: nothing, or a link that leads nowhere.
enum class FileKind { Missing, Regular, Folder, Pipe, Socket, Device, Other };

// Fails only when the path cannot be looked at (a folder on the way may not be searched, say).
Result<FileKind> QueryKind(std::u16string_view path);

// Who may read a temporary file: its owner only (mode 0600), or whoever the umask lets read a
// newly created file (mode 0666 less the umask), for files that become a user's output.
enum class TemporaryAccess { OwnerOnly, AsNewFile };

// Owns one open file. Destruction closes it silently; Close() reports. Every failure carries the
// system's reason.
class File {
  public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    // An existing file, read-only. Fails for anything but a regular file (after links).
    static Result<File> OpenForReading(std::u16string_view path);
    // Anything readable but a folder: also named pipes and devices, which may not seek. Opening a
    // named pipe waits for its writer.
    static Result<File> OpenStream(std::u16string_view path);
    // Creates the file or truncates it, write-only, mode 0666 less the umask.
    static Result<File> CreateAlways(std::u16string_view path);
    // Creates a new file with a unique, unpredictable name in `folder`, exclusively, mode 0600:
    // `prefix`, random characters, `suffix`. Its full path is stored in `path`.
    static Result<File> CreateTemporary(std::u16string_view folder, std::u16string_view prefix,
                                        std::u16string_view suffix, std::u16string& path,
                                        TemporaryAccess access = TemporaryAccess::OwnerOnly);
    // The temporary file of an output written to be moved to `destination`: beside it, on its
    // file system, so that the move is one step; hidden, "." + its name + "-" ... ".tmp"; readable
    // as a new file of the user's would be.
    static Result<File> CreateBeside(std::u16string_view destination, std::u16string& path);

    // The process's standard streams, as handles of their own (closing one leaves the stream).
    static Result<File> StandardInput();
    static Result<File> StandardOutput();
    static Result<File> StandardError();

    bool IsOpen() const { return handle_ != kNoHandle; }

    // Reads up to buffer.size() bytes; 0 at the end of the file.
    Result<std::size_t> Read(std::span<std::uint8_t> buffer);
    // Reads until the buffer is full or the file ends.
    Result<std::size_t> ReadFull(std::span<std::uint8_t> buffer);
    // Writes every byte, retrying short writes.
    Status WriteAll(std::span<const std::uint8_t> data);
    // The new position; fails when the file cannot be repositioned (pipes, terminals).
    Result<std::uint64_t> Seek(std::int64_t offset, SeekOrigin origin);
    Result<std::uint64_t> Size() const;

    // Makes what was written reach the disk, with what is needed to read it back (fdatasync,
    // FlushFileBuffers).
    Status Flush();

    // Closes the file; fails when the close reported an error (for instance a late write error).
    Status Close();

    // Writes text in the portable narrow form (UTF-8): to a Windows console as its own wide text,
    // so that Chinese shows whatever the console's code page; everywhere else as the bytes.
    Status WriteText(std::string_view text);

  private:
    friend Result<FindData> QueryOpenFile(const File& file);
    friend class Subtree;

    // The system's handle: a file descriptor on POSIX, a HANDLE on Windows. Both fit, and both
    // use -1 for none (INVALID_HANDLE_VALUE).
    static constexpr std::intptr_t kNoHandle = -1;
    explicit File(std::intptr_t handle) : handle_(handle) {}
    // Creates `path`, which must not exist yet (else file_exists), for reading and writing.
    static Result<File> CreateNew(std::u16string_view path, TemporaryAccess access);
    std::intptr_t handle_ = kNoHandle;
};

// Reads a whole regular file into memory.
Result<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path);

// Removes a file; fails when it could not be removed (a missing file included).
Status DeleteFile(std::u16string_view path);

// Makes an empty temporary file, as CreateTemporary does, and closes it again: a fresh name for a
// file that is written later by its name. Its path.
Result<std::u16string> ReserveTemporary(std::u16string_view folder, std::u16string_view prefix,
                                        std::u16string_view suffix, TemporaryAccess access);

// Removes a temporary file of one's own, if it is there. A failed attempt is tried once more: a
// scanner may hold a file that was just written for a moment (on Windows, routinely).
void RemoveTemporary(std::u16string_view path);

// Moves `from` to `to` in one step, replacing a file at `to`, whose permission bits the moved
// file takes over; both must be on one file system.
Status ReplaceFile(std::u16string_view from, std::u16string_view to);

// Moves `from` to `to` in one step unless anything is at `to`, even something that appeared a
// moment ago: then it fails with file_exists and both stay as they were.
Status MoveNoReplace(std::u16string_view from, std::u16string_view to);

// Makes the entries of `folder` reach the disk, so that a file just renamed into it survives a
// power cut (POSIX; on Windows the rename itself is written through).
Status FlushFolder(std::u16string_view folder);

// Whether opening a file below a folder may pass through links.
enum class LinkRule {
    Refuse,  // no component may be a symbolic link or reparse point: fails with
             // too_many_symbolic_link_levels
    Follow,
};

// A folder whose files are opened by their paths relative to it, so that a name on the way that
// was replaced by a link cannot lead elsewhere. Move-only.
class Subtree {
  public:
    static Result<Subtree> Open(std::u16string_view folder);

    // The regular file at `relative` (separated by the native separator, no "." or ".."),
    // read-only. Fails for anything but a regular file, as OpenForReading does.
    Result<File> OpenFile(std::u16string_view relative, LinkRule links) const;

  private:
    File folder_;               // POSIX: the open folder
    std::u16string path_;       // its path as given
    std::u16string real_path_;  // Windows: its path with every link resolved
};

}  // namespace zelpack::platform
