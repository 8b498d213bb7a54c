// TGA images from the resource DLL and from the data folder, and how the
// controls draw pictures: with per-pixel alpha, opaque without AlphaBlend,
// and colour-keyed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "dlgframe/frame_palette.h"
#include "dlgframe/tests/frametest_support.h"
#include "dlgframe/tests/seven_dialog.h"
#include "dlgframe/tests/test_ids.h"

namespace olvex::frametest {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Image {
    LONG width = 0;
    LONG height = 0;
    WORD bits = 0;
    Bytes pixels;            // the section's memory, first row first
    COLORREF top_left = 0;   // the image as drawn: its top-left pixel
};

// The DIB section's header and pixels; nothing for a null handle.
std::optional<Image> Read(HBITMAP bitmap) {
    if (bitmap == nullptr)
        return std::nullopt;
    DIBSECTION section{};
    Image image;
    if (GetObjectW(bitmap, sizeof(section), &section) == sizeof(section)) {
        image.width = section.dsBmih.biWidth;
        image.height = std::abs(section.dsBmih.biHeight);
        image.bits = section.dsBmih.biBitCount;
        const auto* bits = static_cast<const std::uint8_t*>(section.dsBm.bmBits);
        const std::size_t size = static_cast<std::size_t>(image.width) *
                                 std::abs(image.height) * 4;
        if (bits != nullptr)
            image.pixels.assign(bits, bits + size);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        image.top_left = GetPixel(dc, 0, 0);
        SelectObject(dc, previous);
        DeleteDC(dc);
    }
    DeleteObject(bitmap);
    return image;
}

Bytes TgaFile(std::uint8_t id_length, std::uint8_t image_type, std::uint16_t width,
              std::uint16_t height, std::uint8_t depth, std::uint8_t descriptor,
              const Bytes& body) {
    Bytes bytes = {id_length, 0, image_type, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                   static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8),
                   static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8),
                   depth, descriptor};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

struct TgaCase {
    const char* what;
    std::optional<LONG> height;  // nothing: no image
    LONG width = 0;
    Bytes first;                 // the first bytes of the section's memory
    COLORREF top_left = 0;       // as drawn: a bottom-up image's last row is on top
};

TEST(FrameworkImagesTest, TgaResources) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    struct Case {
        UINT id;
        BYTE premultiply;
        TgaCase expect;
    };
    const Case cases[] = {
        {IDT_BOTTOM_UP, 0,
         {"bottom-up", 2, 2, {50, 100, 200, 128, 0, 0, 255, 255}, RGB(0, 0, 255)}},
        {IDT_BOTTOM_UP, 1,
         {"premultiplied", 2, 2, {25, 50, 100, 128, 0, 0, 255, 255}, RGB(0, 0, 255)}},
        // Row 0 of the file is the first row of memory and the top row shown.
        {IDT_TOP_DOWN, 0,
         {"top-down, row 0 first", 2, 2, {1, 2, 3, 255, 4, 5, 6, 255}, RGB(3, 2, 1)}},
        {IDT_LONG_ID, 0, {"255-byte identification field", 1, 1, {9, 8, 7, 200}, RGB(7, 8, 9)}},
        {IDT_TRUNCATED, 0, {"truncated", 4, 4, {1, 1, 1, 1, 2, 2, 0, 0, 0, 0}, RGB(0, 0, 0)}},
        {IDT_DEPTH24, 0, {"24-bit", std::nullopt, 0, {}, 0}},
        {IDT_COLOUR_MAPPED, 0, {"colour-mapped", std::nullopt, 0, {}, 0}},
        {IDT_RUN_LENGTH, 0, {"run-length", std::nullopt, 0, {}, 0}},
        {IDT_ZERO_WIDTH, 0, {"zero width", std::nullopt, 0, {}, 0}},
        {IDT_HUGE, 1, {"65535 x 65535", std::nullopt, 0, {}, 0}},
        {IDT_EMPTY, 0, {"empty resource", std::nullopt, 0, {}, 0}},
        {399, 0, {"missing", std::nullopt, 0, {}, 0}},
    };
    for (const Case& c : cases) {
        const auto image = Read(Api().load_tga_resource(c.id, 0x1234, c.premultiply));
        ASSERT_EQ(image.has_value(), c.expect.height.has_value()) << c.expect.what;
        if (!image)
            continue;
        EXPECT_EQ(image->bits, 32) << c.expect.what;
        EXPECT_EQ(image->width, c.expect.width) << c.expect.what;
        EXPECT_EQ(image->height, *c.expect.height) << c.expect.what;
        EXPECT_EQ(image->top_left, c.expect.top_left) << c.expect.what;
        ASSERT_GE(image->pixels.size(), c.expect.first.size()) << c.expect.what;
        EXPECT_EQ(Bytes(image->pixels.begin(), image->pixels.begin() + c.expect.first.size()),
                  c.expect.first)
            << c.expect.what;
    }
    // The truncated image's pixels past the end of the data stay zero.
    const auto truncated = Read(Api().load_tga_resource(IDT_TRUNCATED, 0, 0));
    ASSERT_TRUE(truncated);
    for (std::size_t i = 6; i < truncated->pixels.size(); ++i)
        ASSERT_EQ(truncated->pixels[i], 0) << i;
}

// The data folder is "data" under the current folder.
class DataFolder {
  public:
    DataFolder() {
        wchar_t previous[MAX_PATH]{};
        GetCurrentDirectoryW(MAX_PATH, previous);
        previous_ = previous;
        root_ = std::filesystem::temp_directory_path() /
                ("frametest-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(root_ / "data");
        SetCurrentDirectoryW(root_.wstring().c_str());
    }
    ~DataFolder() {
        SetCurrentDirectoryW(previous_.c_str());
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    void Write(const std::string& name, const Bytes& bytes) const {
        std::ofstream out(root_ / "data" / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

  private:
    std::wstring previous_;
    std::filesystem::path root_;
};

TEST(FrameworkImagesTest, TgaFiles) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    DataFolder data;
    Bytes long_id(255, 0xEE);
    long_id.insert(long_id.end(), {9, 8, 7, 200});
    data.Write("bottom_up.tga", TgaFile(0, 2, 1, 2, 32, 0x08, {50, 100, 200, 128, 1, 2, 3, 4}));
    data.Write("top_down.tga", TgaFile(0, 2, 2, 1, 32, 0x28, {1, 2, 3, 255, 4, 5, 6, 255}));
    data.Write("long_id.tga", TgaFile(255, 2, 1, 1, 32, 0, long_id));
    data.Write("truncated.tga", TgaFile(0, 2, 3, 3, 32, 0, {7, 7, 7}));
    data.Write("short_header.tga", Bytes{0, 0, 2, 0, 0});
    data.Write("depth24.tga", TgaFile(0, 2, 1, 1, 24, 0, {1, 2, 3}));
    data.Write("colour_mapped.tga", TgaFile(0, 1, 1, 1, 32, 0, {1, 2, 3, 4}));
    data.Write("run_length.tga", TgaFile(0, 10, 1, 1, 32, 0, {0, 1, 2, 3, 4}));
    data.Write("zero_height.tga", TgaFile(0, 2, 5, 0, 32, 0, {}));
    data.Write("huge.tga", TgaFile(0, 2, 65535, 65535, 32, 0, {1, 2, 3, 4}));

    struct Case {
        std::wstring name;
        BYTE premultiply;
        TgaCase expect;
    };
    const Case cases[] = {
        {L"bottom_up.tga", 0,
         {"bottom-up", 2, 1, {50, 100, 200, 128, 1, 2, 3, 4}, RGB(3, 2, 1)}},
        // The file loader premultiplies whenever it is asked to.
        {L"bottom_up.tga", 1,
         {"premultiplied", 2, 1, {25, 50, 100, 128, 0, 0, 0, 4}, RGB(0, 0, 0)}},
        {L"top_down.tga", 0, {"top-down", 1, 2, {1, 2, 3, 255, 4, 5, 6, 255}, RGB(3, 2, 1)}},
        {L"long_id.tga", 0, {"255-byte identification field", 1, 1, {9, 8, 7, 200}, RGB(7, 8, 9)}},
        {L"truncated.tga", 0, {"truncated", 3, 3, {7, 7, 7, 0, 0, 0}, RGB(0, 0, 0)}},
        {L"short_header.tga", 0, {"short header", std::nullopt, 0, {}, 0}},
        {L"depth24.tga", 0, {"24-bit", std::nullopt, 0, {}, 0}},
        {L"colour_mapped.tga", 0, {"colour-mapped", std::nullopt, 0, {}, 0}},
        {L"run_length.tga", 0, {"run-length", std::nullopt, 0, {}, 0}},
        {L"zero_height.tga", 0, {"zero height", std::nullopt, 0, {}, 0}},
        {L"huge.tga", 1, {"65535 x 65535", std::nullopt, 0, {}, 0}},
        {L"missing.tga", 0, {"missing", std::nullopt, 0, {}, 0}},
        {std::wstring(250, L'n') + L".tga", 0, {"name too long for the path", std::nullopt, 0, {}, 0}},
    };
    for (const Case& c : cases) {
        const auto image = Read(Api().load_tga_file(c.name.c_str(), c.premultiply));
        ASSERT_EQ(image.has_value(), c.expect.height.has_value()) << c.expect.what;
        if (!image)
            continue;
        EXPECT_EQ(image->width, c.expect.width) << c.expect.what;
        EXPECT_EQ(image->height, *c.expect.height) << c.expect.what;
        EXPECT_EQ(image->top_left, c.expect.top_left) << c.expect.what;
        EXPECT_EQ(Bytes(image->pixels.begin(), image->pixels.begin() + c.expect.first.size()),
                  c.expect.first)
            << c.expect.what;
    }
    EXPECT_EQ(Api().load_tga_file(nullptr, 0), nullptr);
}

// The background of a framework dialog at a client row.
COLORREF Background(int row, int height) {
    const dlgframe::Palette& palette = dlgframe::PaletteScheme(false);
    const auto c = dlgframe::GradientColour(
        dlgframe::PaletteColour(palette, dlgframe::PaletteEntry::kSurface1),
        dlgframe::PaletteColour(palette, dlgframe::PaletteEntry::kSurface2), row, height);
    return RGB(c.red, c.green, c.blue);
}

struct Drawn {
    COLORREF opaque = 0;       // the alpha image's opaque left half
    COLORREF translucent = 0;  // its right half, alpha 128
    COLORREF under = 0;        // the background under the right half
    int keyed_wrong = -1;      // colour-keyed pixels not drawn as they should be
};

Drawn DrawSeven() {
    Drawn drawn;
    Drive([&] { return ShowSevenDialog(0x4); },
          [&] {
              HWND dialog = WaitForWindow(kSevenTitle);
              if (dialog == nullptr) {
                  ADD_FAILURE() << "no dialog";
                  return;
              }
              const Capture capture(dialog);
              const RECT alpha = RectInParent(GetDlgItem(dialog, IDC_ALPHA_IMAGE));
              drawn.opaque = capture.At(alpha.left + 5, alpha.top + 5);
              drawn.translucent = capture.At(alpha.left + 30, alpha.top + 5);
              drawn.under = Background(alpha.top + 5, capture.height());
              // The keyed square: magenta all round a black 8 x 8 square.
              const RECT keyed = RectInParent(GetDlgItem(dialog, IDC_KEYED_IMAGE));
              drawn.keyed_wrong = 0;
              for (int y = 0; y < 24; ++y) {
                  for (int x = 0; x < 24; ++x) {
                      const bool square = x >= 8 && x < 16 && y >= 8 && y < 16;
                      const COLORREF seen = capture.At(keyed.left + x, keyed.top + y);
                      const COLORREF want =
                          square ? RGB(0, 0, 0) : Background(keyed.top + y, capture.height());
                      if (seen != want)
                          ++drawn.keyed_wrong;
                  }
              }
              PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
          });
    return drawn;
}

bool NoBlendRun() {
    return GetEnvironmentVariableW(L"FRAMETEST_NO_BLEND", nullptr, 0) > 0;
}

TEST(FrameworkImagesTest, AlphaImagesBlendAndKeyedOnesShowTheBackground) {
    if (NoBlendRun())
        GTEST_SKIP() << "the run without AlphaBlend";
    Session session(L"tprodover.dll", L"tframeres.dll");
    const Drawn drawn = DrawSeven();
    EXPECT_EQ(drawn.opaque, RGB(200, 0, 0));
    // Premultiplied (100, 0, 0) at alpha 128 over the background.
    const auto blend = [](int source, int under) { return source + under * 127 / 255; };
    EXPECT_NEAR(GetRValue(drawn.translucent), blend(100, GetRValue(drawn.under)), 2);
    EXPECT_NEAR(GetGValue(drawn.translucent), blend(0, GetGValue(drawn.under)), 2);
    EXPECT_NEAR(GetBValue(drawn.translucent), blend(0, GetBValue(drawn.under)), 2);
    EXPECT_EQ(drawn.keyed_wrong, 0);
}

// Runs in the second frametest.exe of the test run, started with
// WINEDLLOVERRIDES=msimg32=d (tests/run_frametest.sh).
TEST(FrameworkNoBlendTest, WithoutAlphaBlendPixelsStayAndImagesAreCopiedOpaque) {
    if (!NoBlendRun())
        GTEST_SKIP() << "runs in the process started without Msimg32.dll";
    EXPECT_EQ(LoadLibraryW(L"msimg32.dll"), nullptr);
    Session session(L"tprodover.dll", L"tframeres.dll");
    const auto image = Read(Api().load_tga_resource(IDT_BOTTOM_UP, 0, 1));
    ASSERT_TRUE(image);
    EXPECT_EQ(Bytes(image->pixels.begin(), image->pixels.begin() + 4),
              (Bytes{50, 100, 200, 128}));
    const Drawn drawn = DrawSeven();
    EXPECT_EQ(drawn.opaque, RGB(200, 0, 0));
    EXPECT_EQ(drawn.translucent, RGB(200, 0, 0));
    EXPECT_EQ(drawn.keyed_wrong, 0);
}

}  // namespace
}  // namespace olvex::frametest
