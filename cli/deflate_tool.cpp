// zelpack-deflate: compresses standard input into a raw deflate stream on standard output, exactly
// as the archive writer compresses an entry, so that the compressor can be checked and timed alone.
#include <CLI/CLI.hpp>
#include <array>
#include <cstdint>
#include <iostream>
#include <optional>

#include "cli/exit_codes.h"
#include "deflate/deflate.h"
#include "platform/file.h"
#include "platform/file_stream.h"
#include "platform/process.h"

namespace {

using zelpack::platform::File;

// The archive writer's output buffer size.
constexpr std::size_t kOutputBufferBytes = 16384;

struct Streams {
    File input;
    File output;
    bool read_failed = false;
    bool write_failed = false;
};

// Fills the request fully unless the input ends, as a file source does.
std::uint32_t ReadInput(zelpack::deflate::DeflateState& state, std::uint8_t* dest,
                        std::uint32_t max) {
    auto& streams = *static_cast<Streams*>(zelpack::deflate::Context(state));
    const auto got = streams.input.ReadFull({dest, max});
    if (!got) {
        streams.read_failed = true;
        return 0;
    }
    return static_cast<std::uint32_t>(*got);
}

int FlushOutput(void* context, const std::uint8_t* src, std::uint32_t* count) {
    auto& streams = *static_cast<Streams*>(context);
    if (*count == 0) {
        return 0;
    }
    if (!streams.output.WriteAll({src, *count})) {
        streams.write_failed = true;
        return -1;
    }
    *count = 0;
    return 0;
}

}  // namespace

int main(int argc_in, char** argv_in) {
    const zelpack::platform::StandardStreams standard_streams;
    // A reader that goes away (`| head -c`) makes a write fail, reported as such, not a SIGPIPE.
    zelpack::platform::IgnoreBrokenPipes();
    zelpack::platform::Arguments arguments(argc_in, argv_in);
    const int argc = arguments.argc();
    char** argv = arguments.argv();
    CLI::App app{"zelpack-deflate：把标准输入压缩为原始 deflate 数据流，写到标准输出",
                 "zelpack-deflate"};
    // "/x" is a path here, never an option, on Windows too.
    app.allow_windows_style_options(false);
    app.set_help_flag("-h,--help", "显示帮助并退出");
    int level = 8;
    app.add_option("--level", level, "压缩级别（1 到 8）")->check(CLI::Range(1, 8));
    if (const std::optional<int> exit = zelpack::ParseToolArguments(app, argc, argv)) {
        return *exit;
    }

    auto input = File::StandardInput();
    auto output = File::StandardOutput();
    if (!input || !output) {
        std::cerr << "zelpack-deflate：无法打开标准输入或标准输出\n";
        return zelpack::kExitFailure;
    }
    Streams streams{std::move(*input), std::move(*output)};
    auto state = zelpack::deflate::NewDeflateState();
    std::array<std::uint8_t, kOutputBufferBytes> buffer;
    std::uint16_t flags = 0;
    const auto result =
        zelpack::deflate::Deflate(*state, level, &streams, ReadInput, FlushOutput, buffer, flags);
    if (streams.read_failed) {
        std::cerr << "zelpack-deflate：读取标准输入失败\n";
        return zelpack::kExitFailure;
    }
    if (streams.write_failed || !streams.output.Close()) {
        std::cerr << "zelpack-deflate：写入标准输出失败\n";
        return zelpack::kExitFailure;
    }
    if (result.error_text != nullptr) {
        std::cerr << "zelpack-deflate：压缩内部错误：" << result.error_text << '\n';
        return zelpack::kExitFailure;
    }
    return zelpack::kExitSuccess;
}
