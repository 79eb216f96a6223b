#include "zip/zip_result.h"

#include <algorithm>
#include <cstring>

namespace zelpack::zip {

std::atomic<ZipResult> MostRecentResult{Success};

std::string_view ZipResultMessage(ZipResult code) {
    switch (code) {
        case Success:
            return "Success";
        case DuplicateFailed:
            return "Culdn't duplicate handle";
        case OpenFailed:
            return "Couldn't create/open file";
        case NoMemory:
            return "Failed to allocate memory";
        case WriteFailed:
            return "Error writing to file";
        case NotFound:
            return "File not found in the zipfile";
        case MoreData:
            return "Still more data to unzip";
        case Corrupt:
            return "Zipfile is corrupt or not a zipfile";
        case ReadFailed:
            return "Error reading file";
        case BadArguments:
            return "Caller: faulty arguments";
        case NotMemoryTarget:
            return "Caller: can only get memory of a memory zipfile";
        case MemoryTooSmall:
            return "Caller: not enough space allocated for memory zipfile";
        case PreviousError:
            return "Caller: there was a previous error";
        case AlreadyEnded:
            return "Caller: additions to the zip have already been ended";
        case SizeMismatch:
            return "Zip-bug: the anticipated size turned out wrong";
        case PartlyExtracted:
            return "Caller: the file had already been partially unzipped";
        case WrongHandleKind:
            return "Caller: mixing creation and opening of zip";
        case NotInitialised:
            return "Zip-bug: internal initialisation not completed";
        case NotSeekable:
            return "Zip-bug: trying to seek the unseekable";
        case ChangeNotAllowed:
            return "Zip-bug: tried to change mind, but not allowed";
        case DeflateFailed:
            return "Zip-bug: an internal error during flation";
        default:
            return "unknown zip result code";
    }
}

std::string_view ZipResultName(ZipResult code) {
    switch (code) {
        case Success:
            return "ZIP_SUCCESS";
        case DuplicateFailed:
            return "ZIP_DUPLICATE_FAILED";
        case OpenFailed:
            return "ZIP_OPEN_FAILED";
        case NoMemory:
            return "ZIP_NO_MEMORY";
        case WriteFailed:
            return "ZIP_WRITE_FAILED";
        case NotFound:
            return "ZIP_NOT_FOUND";
        case MoreData:
            return "ZIP_MORE_DATA";
        case Corrupt:
            return "ZIP_CORRUPT";
        case ReadFailed:
            return "ZIP_READ_FAILED";
        case BadArguments:
            return "ZIP_BAD_ARGUMENTS";
        case NotMemoryTarget:
            return "ZIP_NOT_MEMORY_TARGET";
        case MemoryTooSmall:
            return "ZIP_MEMORY_TOO_SMALL";
        case PreviousError:
            return "ZIP_PREVIOUS_ERROR";
        case AlreadyEnded:
            return "ZIP_ALREADY_ENDED";
        case SizeMismatch:
            return "ZIP_SIZE_MISMATCH";
        case PartlyExtracted:
            return "ZIP_PARTLY_EXTRACTED";
        case WrongHandleKind:
            return "ZIP_WRONG_HANDLE_KIND";
        case NotInitialised:
            return "ZIP_NOT_INITIALISED";
        case NotSeekable:
            return "ZIP_NOT_SEEKABLE";
        case ChangeNotAllowed:
            return "ZIP_CHANGE_NOT_ALLOWED";
        case DeflateFailed:
            return "ZIP_DEFLATE_FAILED";
        default:
            return "ZIP_UNKNOWN";
    }
}

std::size_t DescribeZipResult(ZipResult code, char* buffer, std::size_t capacity) {
    if (code == MostRecentResultCode) {
        code = GetMostRecentResult();
    }
    const std::string_view message = ZipResultMessage(code);
    if (buffer == nullptr || capacity == 0) {
        return message.size();
    }
    const std::size_t kept = std::min(message.size(), capacity - 1);
    std::memcpy(buffer, message.data(), kept);
    buffer[kept] = '\0';
    return message.size();
}

void SetMostRecentResult(ZipResult code) {
    MostRecentResult.store(code, std::memory_order_relaxed);
}

ZipResult GetMostRecentResult() {
    return MostRecentResult.load(std::memory_order_relaxed);
}

}  // namespace zelpack::zip
