#include "tools/publisher/synthetic_set.h"

#include <algorithm>
#include <string>

namespace olvex::tools {
namespace {

constexpr std::uint64_t kTicksPerDay = 864'000'000'000ull;
constexpr const char* kCategories[] = {"Adware", "Spyware",          "Trojan",
                                       "Dialer", "Browser Hijacker", "Tracking Cookie"};

// splitmix64: fast, and the same numbers on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }

  private:
    std::uint64_t state_;
};

PestInfoRecord MakePest(std::int32_t id) {
    return {id, "Synthetic.Pest." + std::to_string(id), kCategories[id % 6], {}};
}

class Generator {
  public:
    explicit Generator(const SyntheticOptions& options)
        : options_(options), random_(options.seed) {}

    std::int32_t AnyPest() {
        return 1 + static_cast<std::int32_t>(random_.Below(std::max(options_.pests, 1u)));
    }

    SignatureRecord MakeSignature(std::uint32_t i) {
        SignatureRecord record;
        record.pest_id = AnyPest();
        const std::uint32_t crc = static_cast<std::uint32_t>(random_.Next()) | 1u;
        if (i % 8 == 7) {
            record.memory_crc = crc;  // a memory-only signature
            return record;
        }
        record.file_crc = crc;
        if (i % 8 != 6) {
            const std::uint64_t a = random_.Next(), b = random_.Next();
            for (int k = 0; k < 8; ++k) {
                record.md5[k] = static_cast<std::uint8_t>(a >> (8 * k));
                record.md5[8 + k] = static_cast<std::uint8_t>(b >> (8 * k));
            }
        }
        return record;
    }

    LocationRecord MakeLocation(std::uint32_t i) {
        const std::int32_t id = AnyPest();
        const std::string pest = "Pest" + std::to_string(id);
        const std::string n = std::to_string(i);
        const std::uint32_t kind = i % 16;
        std::string text;
        if (kind < 6) {
            const std::string key =
                "HKEY_LOCAL_MACHINE\\Software\\Synthetic\\" + pest + "\\Key" + n;
            text = KeyEntryText(key, kind % 3 ? "Value" + n : "", kind % 3 == 2 ? "Data" + n : "");
        } else if (kind < 11) {
            text = QuotedEntryText("file",
                                   "%PROGRAM_FILES%\\Synthetic\\" + pest + "\\file" + n + ".exe");
        } else if (kind < 13) {
            text =
                QuotedEntryText("folder", "%PROGRAM_FILES%\\Synthetic\\" + pest + "\\Folder" + n);
        } else if (kind < 15) {
            text = QuotedEntryText("cookie", "user@tracker" + n + ".example");
        } else {
            text = QuotedEntryText("exclude", "Synthetic" + n);
        }
        return {id, std::move(text)};
    }

    DefinitionSet Make() {
        DefinitionSet set;
        PublishedBlock base;
        base.block_time = options_.base_time;
        base.pests.reserve(options_.pests);
        for (std::uint32_t i = 1; i <= options_.pests; ++i)
            base.pests.push_back(MakePest(static_cast<std::int32_t>(i)));
        base.signatures.reserve(options_.signatures);
        for (std::uint32_t i = 0; i < options_.signatures; ++i)
            base.signatures.push_back(MakeSignature(i));
        base.locations.reserve(options_.locations);
        for (std::uint32_t i = 0; i < options_.locations; ++i)
            base.locations.push_back(MakeLocation(i));
        set.blocks.push_back(std::move(base));

        std::uint32_t next_pest = options_.pests + 1;
        std::uint32_t next_signature = options_.signatures;
        std::uint32_t next_location = options_.locations;
        for (std::uint32_t d = 1; d <= options_.deltas; ++d) {
            const PublishedBlock& first = set.blocks.front();
            PublishedBlock delta;
            delta.block_time = options_.base_time + d * kTicksPerDay;
            for (std::uint32_t k = 0; k < std::max(1u, options_.pests / 200); ++k)
                delta.pests.push_back(MakePest(static_cast<std::int32_t>(next_pest++)));
            for (std::uint32_t k = 0; k < std::max(1u, options_.signatures / 200); ++k)
                delta.signatures.push_back(MakeSignature(next_signature++));
            for (std::uint32_t k = 0; k < std::max(1u, options_.locations / 200); ++k)
                delta.locations.push_back(MakeLocation(next_location++));
            // Take back one record of each kind that the base block added.
            if (d <= first.pests.size()) {
                PestInfoRecord gone = first.pests[d - 1];
                gone.pest_id = -gone.pest_id;
                delta.pests.push_back(std::move(gone));
            }
            if (d <= first.signatures.size()) {
                SignatureRecord gone = first.signatures[d - 1];
                gone.pest_id = -gone.pest_id;
                delta.signatures.push_back(std::move(gone));
            }
            if (d <= first.locations.size()) {
                LocationRecord gone = first.locations[d - 1];
                gone.pest_id = -gone.pest_id;
                delta.locations.push_back(std::move(gone));
            }
            set.blocks.push_back(std::move(delta));
        }
        return set;
    }

  private:
    SyntheticOptions options_;
    Random random_;
};

}  // namespace

DefinitionSet MakeSyntheticSet(const SyntheticOptions& options) {
    return Generator(options).Make();
}

}  // namespace olvex::tools
