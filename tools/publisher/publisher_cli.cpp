#include "tools/publisher/publisher_cli.h"

#include <charconv>
#include <limits>
#include <optional>
#include <vector>

#include "tools/publisher/definition_dump.h"
#include "tools/publisher/definition_writer.h"
#include "tools/publisher/synthetic_set.h"
#include "tools/publisher/update_set.h"

#include "olvex/core/file_io.h"
#include "olvex/update/update_file_name.h"

namespace olvex::tools {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& out) {
    out << "usage:\n"
           "  olvex-publish --out DIR [--corrupt KIND [--corrupt-block N]] SOURCE\n"
           "      compiles a definition source into DIR/qzinfo.dat, qzfile.dat, qzloc.dat\n"
           "  olvex-publish --out DIR --synthetic [--pests N] [--signatures N] [--locations N]\n"
           "                [--deltas N] [--seed N] [--corrupt KIND [--corrupt-block N]]\n"
           "      writes a made-up set of the given size (for benchmarks)\n"
           "  olvex-publish --update-set DIR --url BASE [--extra NAME:TYPE:VERSION:FILE]...\n"
           "                SOURCE | --synthetic ...\n"
           "      writes what the update server publishes for the set into DIR: qzmaster.dat,\n"
           "      incupdates.inf, the whole files and one delta package per file and delta\n"
           "      block, all addressed under BASE; each --extra adds a file to qzmaster.dat\n"
           "      (TYPE 2 copy, 5 program, 6 engine DLL)\n"
           "  olvex-publish --dump FILE...\n"
           "      prints definition files: headers, the reader's verdict and the records\n"
           "\n"
           "--corrupt spoils block N (0: the first with records) of every file:";
    for (const auto name : CorruptionNames())
        if (name != "none")
            out << " " << name;
    out << "\n";
}

struct ExtraSpec {
    std::string name;
    std::int32_t type = 0;
    std::int32_t version = 0;
    std::string file;
};

struct Arguments {
    std::string out_dir;
    std::string update_dir;
    std::string url_base;
    std::vector<ExtraSpec> extras;
    std::string source;
    std::vector<std::string> dump_files;
    bool dump = false;
    bool synthetic = false;
    SyntheticOptions synthetic_options;
    WriteOptions write_options;
};

template <typename T>
std::optional<T> Number(const std::string& text) {
    T value{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// NAME:TYPE:VERSION:FILE (FILE may hold colons itself).
std::optional<ExtraSpec> ParseExtra(const std::string& text) {
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    const auto third = second == std::string::npos ? second : text.find(':', second + 1);
    if (third == std::string::npos)
        return std::nullopt;
    const auto type = Number<std::int32_t>(text.substr(first + 1, second - first - 1));
    const auto version = Number<std::int32_t>(text.substr(second + 1, third - second - 1));
    if (!type || !version || third + 1 == text.size() ||
        !IsSafeUpdateFileName(text.substr(0, first)))
        return std::nullopt;
    return ExtraSpec{text.substr(0, first), *type, *version, text.substr(third + 1)};
}

// Parses the command line; an error text on failure.
std::string ParseArguments(std::span<const std::string> args, Arguments& parsed) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        const auto number = [&](std::uint32_t& field) -> std::string {
            const std::string* text = value();
            const auto n = text ? Number<std::uint32_t>(*text) : std::nullopt;
            if (!n)
                return arg + " wants a number";
            field = *n;
            return {};
        };
        std::string error;
        if (parsed.dump) {
            parsed.dump_files.push_back(arg);
        } else if (arg == "--dump") {
            parsed.dump = true;
        } else if (arg == "--out") {
            const std::string* text = value();
            if (!text)
                return "--out wants a folder";
            parsed.out_dir = *text;
        } else if (arg == "--update-set") {
            const std::string* text = value();
            if (!text)
                return "--update-set wants a folder";
            parsed.update_dir = *text;
        } else if (arg == "--url") {
            const std::string* text = value();
            if (!text)
                return "--url wants an address";
            parsed.url_base = *text;
        } else if (arg == "--extra") {
            const std::string* text = value();
            auto extra = text ? ParseExtra(*text) : std::nullopt;
            if (!extra)
                return "--extra wants NAME:TYPE:VERSION:FILE";
            parsed.extras.push_back(std::move(*extra));
        } else if (arg == "--corrupt") {
            const std::string* text = value();
            const auto kind = text ? CorruptionFromName(*text) : std::nullopt;
            if (!kind)
                return "--corrupt wants one of the kinds listed below";
            parsed.write_options.corruption = *kind;
        } else if (arg == "--corrupt-block") {
            std::uint32_t block = 0;
            error = number(block);
            parsed.write_options.corrupt_block = block;
        } else if (arg == "--synthetic") {
            parsed.synthetic = true;
        } else if (arg == "--pests") {
            error = number(parsed.synthetic_options.pests);
        } else if (arg == "--signatures") {
            error = number(parsed.synthetic_options.signatures);
        } else if (arg == "--locations") {
            error = number(parsed.synthetic_options.locations);
        } else if (arg == "--deltas") {
            error = number(parsed.synthetic_options.deltas);
        } else if (arg == "--seed") {
            const std::string* text = value();
            const auto seed = text ? Number<std::uint64_t>(*text) : std::nullopt;
            if (!seed)
                return "--seed wants a number";
            parsed.synthetic_options.seed = *seed;
        } else if (arg.starts_with("--")) {
            return "unknown switch " + arg;
        } else if (parsed.source.empty()) {
            parsed.source = arg;
        } else {
            return "one definition source at a time";
        }
        if (!error.empty())
            return error;
    }
    if (parsed.dump)
        return parsed.dump_files.empty() ? "--dump wants at least one file" : "";
    if (parsed.out_dir.empty() && parsed.update_dir.empty())
        return "--out is missing";
    if (!parsed.out_dir.empty() && !parsed.update_dir.empty())
        return "give either --out or --update-set";
    if (!parsed.update_dir.empty() && parsed.url_base.empty())
        return "--update-set wants --url";
    if (parsed.update_dir.empty() && (!parsed.url_base.empty() || !parsed.extras.empty()))
        return "--url and --extra go with --update-set";
    if (!parsed.update_dir.empty() && parsed.write_options.corruption != Corruption::kNone)
        return "--corrupt goes with --out";
    if (parsed.synthetic != parsed.source.empty())
        return "give either a definition source or --synthetic";
    return {};
}

int PublishUpdateSet(const DefinitionSet& set, const Arguments& parsed, std::ostream& err) {
    UpdateSetOptions options;
    options.url_base = parsed.url_base;
    while (!options.url_base.empty() && options.url_base.back() == '/')
        options.url_base.pop_back();
    for (const auto& extra : parsed.extras) {
        auto file = ReadWholeFile(extra.file);
        if (!file) {
            err << "olvex-publish: " << extra.file << ": cannot read the file\n";
            return kExitFailed;
        }
        options.extras.push_back({extra.name, extra.type, extra.version, std::move(file.bytes)});
    }
    std::string error;
    const auto update = BuildUpdateSet(set, options, error);
    if (update)
        error = WriteUpdateSet(*update, parsed.update_dir);
    if (!error.empty()) {
        err << "olvex-publish: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int RunPublisher(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? err : out);
        return args.empty() ? kExitUsage : kExitOk;
    }
    if (const std::string error = ParseArguments(args, parsed); !error.empty()) {
        err << "olvex-publish: " << error << "\n";
        PrintUsage(err);
        return kExitUsage;
    }
    if (parsed.dump) {
        bool ok = true;
        for (const auto& file : parsed.dump_files)
            ok = DumpDefinitionFile(file, out) && ok;
        return ok ? kExitOk : kExitFailed;
    }
    DefinitionSet set;
    if (parsed.synthetic) {
        set = MakeSyntheticSet(parsed.synthetic_options);
    } else {
        SourceResult source = ReadDefinitionSource(parsed.source);
        if (!source.ok()) {
            err << source.error << "\n";
            return kExitFailed;
        }
        set = std::move(source.set);
    }
    if (!parsed.update_dir.empty())
        return PublishUpdateSet(set, parsed, err);
    if (const std::string error = WriteDefinitionFiles(set, parsed.out_dir, parsed.write_options);
        !error.empty()) {
        err << "olvex-publish: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace olvex::tools
