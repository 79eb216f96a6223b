// Helpers shared by the record and encryption tests: a sink into memory, hand-built archives
// and a run of Python's zipfile reader over them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "zip/records.h"

namespace zelpack::zip::testing {

class VectorSink : public ByteSink {
  public:
    std::size_t Write(std::span<const std::uint8_t> data) override {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return data.size();
    }
    std::vector<std::uint8_t> bytes;
};

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

inline void SaveFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Runs a command and returns its standard output; `status` receives the exit status.
inline std::string RunCommand(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    std::array<char, 4096> chunk;
    std::size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        output.append(chunk.data(), n);
    }
    status = pclose(pipe);
    return output;
}

// Python's zipfile reads the archive (with the password, when one is given) and lists every
// entry as "name flags hex-of-content", one a line, after testzip() found nothing wrong.
inline std::string ReadWithPython(const std::filesystem::path& archive,
                                  const std::string& password = "") {
    const auto script = archive.parent_path() / "read_zip.py";
    std::ofstream(script) << R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    if len(sys.argv) > 2:
        z.setpassword(sys.argv[2].encode())
    bad = z.testzip()
    if bad is not None:
        print("BAD", bad)
    for info in z.infolist():
        print(info.filename, hex(info.flag_bits), z.read(info).hex())
)";
    std::string command = "python3 '" + script.string() + "' '" + archive.string() + "'";
    if (!password.empty()) {
        command += " '" + password + "'";
    }
    command += " 2>&1";
    int status = 0;
    std::string output = RunCommand(command, status);
    if (status != 0) {
        output += "[exit " + std::to_string(status) + "]";
    }
    return output;
}

inline std::string Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

// Bitwise CRC-32, independent of the product's table.
inline std::uint32_t Crc32(std::string_view data) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) {
            crc = (crc & 1) ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
        }
    }
    return ~crc;
}

inline bool HaveUnzip() {
    int status = 0;
    RunCommand("command -v unzip >/dev/null 2>&1", status);
    return status == 0;
}

// unzip -t, 7z t and bsdtar (extracting every entry to nowhere) each test the archive, with the
// password when one is given. Returns the output of every reader that complained, else "".
// 7-Zip also walks the local headers, so it reports the bytes that a failed entry leaves
// behind; archives holding such bytes are checked without it.
inline std::string FailuresOfOtherReaders(const std::filesystem::path& archive,
                                          const std::string& password = "",
                                          bool withSevenZip = true) {
    const std::string quoted = "'" + archive.string() + "'";
    const std::string unzip = password.empty() ? "" : " -P '" + password + "'";
    const std::string sevenZip = " '-p" + password + "'";
    const std::string bsdtar = password.empty() ? "" : " --passphrase '" + password + "'";
    std::string failures;
    for (const std::string& command :
         {"unzip -t" + unzip + " " + quoted, "7z t" + sevenZip + " " + quoted,
          "bsdtar -xOf " + quoted + bsdtar + " >/dev/null"}) {
        if (!withSevenZip && command.starts_with("7z")) {
            continue;
        }
        int status = 0;
        const std::string output = RunCommand(command + " 2>&1", status);
        if (status != 0) {
            failures += command + " [exit " + std::to_string(status) + "]\n" + output;
        }
    }
    return failures;
}

}  // namespace zelpack::zip::testing
