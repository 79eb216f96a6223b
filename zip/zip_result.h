// Result codes of the archive operations, their fixed messages and the process-wide last result.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zelpack::zip {

// 0 is success. Platform failures sit below 0x10000, caller errors from 0x10000 to 0x80000,
// internal faults from 0x1000000 upwards.
using ZipResult = std::uint32_t;

inline constexpr ZipResult Success = 0;
inline constexpr ZipResult DuplicateFailed = 0x100;
inline constexpr ZipResult OpenFailed = 0x200;
inline constexpr ZipResult NoMemory = 0x300;
inline constexpr ZipResult WriteFailed = 0x400;
inline constexpr ZipResult NotFound = 0x500;
inline constexpr ZipResult MoreData = 0x600;
inline constexpr ZipResult Corrupt = 0x700;
// Also raised when a source fails in the middle of an entry.
inline constexpr ZipResult ReadFailed = 0x800;
inline constexpr ZipResult BadArguments = 0x10000;
inline constexpr ZipResult NotMemoryTarget = 0x20000;
inline constexpr ZipResult MemoryTooSmall = 0x30000;
inline constexpr ZipResult PreviousError = 0x40000;
inline constexpr ZipResult AlreadyEnded = 0x50000;
inline constexpr ZipResult SizeMismatch = 0x60000;
inline constexpr ZipResult PartlyExtracted = 0x70000;
inline constexpr ZipResult WrongHandleKind = 0x80000;
inline constexpr ZipResult NotInitialised = 0x1000000;
inline constexpr ZipResult NotSeekable = 0x2000000;
inline constexpr ZipResult ChangeNotAllowed = 0x4000000;
inline constexpr ZipResult DeflateFailed = 0x5000000;

// Not a result: handed to DescribeZipResult it stands for MostRecentResult.
inline constexpr ZipResult MostRecentResultCode = 1;

// The fixed ASCII message of `code`; "unknown zip result code" for any value not listed (1
// included: only DescribeZipResult looks it up).
std::string_view ZipResultMessage(ZipResult code);

// The symbolic name of `code`, for scripts: "ZIP_WRITE_FAILED" for WriteFailed and so on;
// "ZIP_UNKNOWN" for any value not listed.
std::string_view ZipResultName(ZipResult code);

// Copies the message of `code` (1: of MostRecentResult) into `buffer`, cut to capacity - 1
// characters and NUL-terminated; with a null buffer or capacity 0 nothing is written. Returns the
// full length of the message, also when it was cut.
std::size_t DescribeZipResult(ZipResult code, char* buffer, std::size_t capacity);

// The result of the latest Begin, Add, GetArchiveMemory or EndArchive of any thread. Callers that
// want their own result should keep the code they received instead.
extern std::atomic<ZipResult> MostRecentResult;

void SetMostRecentResult(ZipResult code);
ZipResult GetMostRecentResult();

}  // namespace zelpack::zip
