#include "olvex/core/exclusion_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "olvex/core/exclusion_file.h"
#include "olvex/core/file_io.h"
#include "olvex/core/scrambler.h"
#include "testing/scratch_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace olvex {
namespace {

using Texts = std::vector<std::string>;
using testing::ScratchDir;

Texts TextsOf(const ExclusionStore& store) {
    Texts texts;
    for (const auto& exclusion : store.Exclusions())
        texts.push_back(exclusion.GetString());
    return texts;
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class ExclusionStoreTest : public ::testing::Test {
  protected:
    std::string Path() const { return dir_.File("qzexc_en.dat"); }
    std::string OldPath() const { return dir_.File("qzv5exc.dat"); }
    Texts OnDisk() const { return DecodeExclusionFile(ReadWholeFile(Path()).bytes); }
    ExclusionStore Opened() const {
        ExclusionStore store(MultiByteText::SingleByte());
        EXPECT_EQ(store.Open(Path(), OldPath()), ExclusionError::kNone);
        return store;
    }
    // Nothing but the files the test expects is left in the folder (no
    // temporary versions).
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir dir_;
};

TEST_F(ExclusionStoreTest, FirstUseCreatesAnEmptyFile) {
    const ExclusionStore store = Opened();
    EXPECT_TRUE(store.Exclusions().empty());
    const auto content = ReadWholeFile(Path());
    ASSERT_TRUE(content);
    EXPECT_TRUE(content.bytes.empty());
}

TEST_F(ExclusionStoreTest, ConvertsTheOlderFileOnceKeepingItsContent) {
    const std::string plain = "PestId \"12\"\n\nPath \"c:\\temp\"\n";
    dir_.Write("qzv5exc.dat", plain);
    {
        const ExclusionStore store = Opened();
        EXPECT_EQ(TextsOf(store), (Texts{R"(PestId "12")", R"(Path "c:\temp")"}));
    }
    EXPECT_FALSE(FileExists(OldPath()));
    auto expected = Bytes(plain);
    ScrambleBuffer(expected);
    EXPECT_EQ(ReadWholeFile(Path()).bytes, expected);
    // Opened again, nothing is converted a second time.
    EXPECT_EQ(TextsOf(Opened()), (Texts{R"(PestId "12")", R"(Path "c:\temp")"}));
    EXPECT_EQ(ReadWholeFile(Path()).bytes, expected);
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"qzexc_en.dat"}));
}

TEST_F(ExclusionStoreTest, TheNewFileWinsOverAnOlderOneBesideIt) {
    dir_.Write("qzv5exc.dat", std::string("PestId \"1\"\n"));
    dir_.Write("qzexc_en.dat", EncodeExclusionFile(Texts{R"(PestId "2")"}));
    EXPECT_EQ(TextsOf(Opened()), Texts{R"(PestId "2")"});
    EXPECT_TRUE(FileExists(OldPath()));
}

TEST_F(ExclusionStoreTest, AFailedConversionLeavesTheOlderFileInPlaceAndInUse) {
    // The new file would go to a folder that does not exist.
    const std::string old_path = dir_.Write("qzv5exc.dat", std::string("PestId \"1\"\n"));
    const std::string path = dir_.File("gone/qzexc_en.dat");
    ExclusionStore store(MultiByteText::SingleByte());
    ASSERT_EQ(store.Open(path, old_path), ExclusionError::kNone);
    EXPECT_EQ(TextsOf(store), Texts{R"(PestId "1")"});
    EXPECT_EQ(ReadWholeFile(old_path).bytes, Bytes("PestId \"1\"\n"));

    EXPECT_EQ(store.Add(R"(PestId "2")"), ExclusionError::kWriteOpenFailed);
    EXPECT_EQ(TextsOf(store), Texts{R"(PestId "1")"});

    // Once the folder is there, the next change completes the conversion.
    std::filesystem::create_directory(dir_.path() / "gone");
    ASSERT_EQ(store.Add(R"(PestId "2")"), ExclusionError::kNone);
    EXPECT_EQ(DecodeExclusionFile(ReadWholeFile(path).bytes),
              (Texts{R"(PestId "1")", R"(PestId "2")"}));
    EXPECT_FALSE(FileExists(old_path));
}

TEST_F(ExclusionStoreTest, ChangesAreOnDiskBeforeTheyAreInTheList) {
    ExclusionStore store = Opened();
    ASSERT_EQ(store.Add(R"(PestId "12")"), ExclusionError::kNone);
    ASSERT_EQ(store.Add(R"(Category "adware")"), ExclusionError::kNone);
    ASSERT_EQ(store.Add(R"(pestid "12")"), ExclusionError::kNone);  // no duplicate test
    EXPECT_EQ(OnDisk(), TextsOf(store));

    // Removal ignores case and takes every copy.
    ASSERT_EQ(store.Remove(R"(PESTID "12")"), ExclusionError::kNone);
    EXPECT_EQ(TextsOf(store), Texts{R"(Category "adware")"});
    EXPECT_EQ(OnDisk(), TextsOf(store));
    EXPECT_EQ(store.Remove(R"(PestId "12")"), ExclusionError::kNotFound);

    EXPECT_EQ(store.Add(""), ExclusionError::kUnstorable);
    EXPECT_EQ(store.Add("PestId \"1\"\nPestId \"2\""), ExclusionError::kUnstorable);
    EXPECT_EQ(TextsOf(store), Texts{R"(Category "adware")"});

    // Removing all leaves an empty file, so an older file cannot come back.
    dir_.Write("qzv5exc.dat", std::string("PestId \"1\"\n"));
    ASSERT_EQ(store.RemoveAll(), ExclusionError::kNone);
    EXPECT_TRUE(store.Exclusions().empty());
    ASSERT_TRUE(FileExists(Path()));
    EXPECT_TRUE(OnDisk().empty());
    EXPECT_TRUE(Opened().Exclusions().empty());
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"qzexc_en.dat", "qzv5exc.dat"}));
}

TEST_F(ExclusionStoreTest, ChangesOfAnotherWriterAreKeptWhenChangingTheList) {
    ExclusionStore mine = Opened();
    ExclusionStore other = Opened();
    ASSERT_EQ(other.Add(R"(PestId "1")"), ExclusionError::kNone);
    ASSERT_EQ(mine.Add(R"(PestId "2")"), ExclusionError::kNone);
    EXPECT_EQ(OnDisk(), (Texts{R"(PestId "1")", R"(PestId "2")"}));
    EXPECT_EQ(TextsOf(mine), OnDisk());
    ASSERT_EQ(other.Remove(R"(PestId "2")"), ExclusionError::kNone);
    EXPECT_EQ(OnDisk(), Texts{R"(PestId "1")"});
}

TEST_F(ExclusionStoreTest, TheFreshnessCheckLooksAtTheFileEveryFourSeconds) {
    ExclusionStore reader = Opened();
    ExclusionStore writer = Opened();
    ASSERT_EQ(writer.Add(R"(PestId "1")"), ExclusionError::kNone);
    reader.Refresh(100);  // the first check always looks
    EXPECT_EQ(TextsOf(reader), Texts{R"(PestId "1")"});

    // Same size, written at once: the change is still told apart.
    ASSERT_EQ(writer.RemoveAll(), ExclusionError::kNone);
    ASSERT_EQ(writer.Add(R"(PestId "2")"), ExclusionError::kNone);
    reader.Refresh(103);
    EXPECT_EQ(TextsOf(reader), Texts{R"(PestId "1")"});
    reader.Refresh(104);
    EXPECT_EQ(TextsOf(reader), Texts{R"(PestId "2")"});

    // A deleted file means no exclusions.
    ASSERT_TRUE(RemoveFile(Path()));
    reader.Refresh(108);
    EXPECT_TRUE(reader.Exclusions().empty());
}

TEST(ExclusionStore, AFileThatCannotBeOpenedIsAnError) {
    ScratchDir dir;
    ExclusionStore store(MultiByteText::SingleByte());
    EXPECT_EQ(store.Open(dir.File("gone/qzexc_en.dat"), dir.File("gone/qzv5exc.dat")),
              ExclusionError::kOpenFailed);
    std::filesystem::create_directory(dir.path() / "qzexc_en.dat");
    EXPECT_NE(store.Open(dir.File("qzexc_en.dat"), dir.File("qzv5exc.dat")), ExclusionError::kNone);
    EXPECT_TRUE(store.Exclusions().empty());
    EXPECT_EQ(ExclusionErrorText(ExclusionError::kOpenFailed),
              "Error opening exclusions database.");
}

#ifndef _WIN32
// A folder that this process cannot write to, even as root (where it takes
// the immutable flag); nothing when the system offers neither.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::filesystem::path& folder) : folder_(folder) {
        if (::geteuid() == 0) {
            immutable_ = SetImmutable(true);
        } else {
            std::filesystem::permissions(folder_, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::remove);
        }
    }
    ~ReadOnlyFolder() {
        if (immutable_)
            SetImmutable(false);
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    bool Holds() const {
        OutputFile probe;
        const auto made = probe.Create((folder_ / "probe").string(), CreateMode::kNew);
        probe.Close();
        if (made == FileError::kNone)
            std::filesystem::remove(folder_ / "probe");
        return made != FileError::kNone;
    }

  private:
    bool SetImmutable(bool on) const {
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return ok;
    }

    std::filesystem::path folder_;
    bool immutable_ = false;
};

TEST_F(ExclusionStoreTest, AReadOnlyFolderChangesNothing) {
    ExclusionStore store = Opened();
    ASSERT_EQ(store.Add(R"(PestId "1")"), ExclusionError::kNone);
    ASSERT_EQ(store.Add(R"(Path "c:\temp")"), ExclusionError::kNone);
    const auto before = ReadWholeFile(Path()).bytes;
    const ReadOnlyFolder read_only(dir_.path());
    if (!read_only.Holds())
        GTEST_SKIP() << "this system lets the test write to any folder";

    EXPECT_EQ(store.Add(R"(PestId "2")"), ExclusionError::kWriteOpenFailed);
    EXPECT_EQ(store.Remove(R"(PestId "1")"), ExclusionError::kWriteOpenFailed);
    EXPECT_EQ(store.RemoveAll(), ExclusionError::kWriteOpenFailed);
    EXPECT_EQ(TextsOf(store), (Texts{R"(PestId "1")", R"(Path "c:\temp")"}));
    EXPECT_EQ(ReadWholeFile(Path()).bytes, before);
}
#endif

}  // namespace
}  // namespace olvex
