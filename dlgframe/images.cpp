// TGA loaders, bitmaps with palettes, and the alpha and colour-keyed blits.
#include "dlgframe/images.h"

#include <span>
#include <vector>

#include "dlgframe/framework_exports.h"
#include "dlgframe/framework_state.h"
#include "dlgframe/module_paths.h"
#include "dlgframe/resource_ids.h"
#include "dlgframe/tga_reader.h"

namespace olvex::dlgframe {
namespace {

// The file loader's path buffer holds this many characters.
constexpr std::size_t kTgaPathChars = 254;

// A 32-bit DIB section of the image's size, zero-filled, and its pixels.
HBITMAP CreateImageSection(const TgaLayout& layout, std::span<std::uint8_t>& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = layout.dib_width;
    info.bmiHeader.biHeight = layout.dib_height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section == nullptr || bits == nullptr) {
        if (section != nullptr)
            DeleteObject(section);
        return nullptr;
    }
    pixels = {static_cast<std::uint8_t*>(bits), static_cast<std::size_t>(layout.pixel_bytes)};
    return section;
}

// Reads up to out.size() bytes; a short file leaves the rest as it is.
void ReadUpTo(HANDLE file, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 20));
        DWORD got = 0;
        if (!ReadFile(file, out.data() + done, want, &got, nullptr) || got == 0)
            return;
        done += got;
    }
}

}  // namespace

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP description{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(description), &description) == 0)
        return {0, 0};
    return {description.bmWidth, description.bmHeight};
}

bool LoadBitmapWithPalette(bool from_file, const wchar_t* name_or_id, win::UniqueBitmap& bitmap,
                           win::UniquePalette& palette) {
    bitmap.reset(FrameworkLoadBitmap(nullptr, from_file ? TRUE : FALSE, name_or_id));
    palette.reset();
    if (!bitmap)
        return false;
    BITMAP description{};
    if (GetObjectW(bitmap.get(), sizeof(description), &description) == 0 ||
        description.bmPlanes * description.bmBitsPixel > 8)
        return true;
    const win::UniqueDc dc = win::CreateMemoryDc(nullptr);
    if (!dc)
        return true;
    RGBQUAD table[256]{};
    {
        const win::UniqueSelection selected = win::SelectInto(dc.get(), bitmap.get());
        GetDIBColorTable(dc.get(), 0, 256, table);
    }
    std::vector<BYTE> storage(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = 256;
    for (int i = 0; i < 256; ++i) {
        logical->palPalEntry[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    }
    palette.reset(CreatePalette(logical));
    return true;
}

void DrawImage(HDC target, int x, int y, int width, int height, HBITMAP bitmap, BYTE alpha) {
    BITMAP description{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(description), &description) == 0)
        return;
    const win::UniqueDc source = win::CreateMemoryDc(target);
    if (!source)
        return;
    const win::UniqueSelection selected = win::SelectInto(source.get(), bitmap);
    const AlphaBlendFunction blend = State().alpha_blend;
    if (blend != nullptr && description.bmBitsPixel == 32) {
        BLENDFUNCTION function{AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
        blend(target, x, y, width, height, source.get(), 0, 0, width, height, function);
        return;
    }
    BitBlt(target, x, y, description.bmWidth, description.bmHeight, source.get(), 0, 0, SRCCOPY);
}

void DrawTransparent(HDC target, HBITMAP bitmap, int x, int y) {
    const SIZE size = BitmapSize(bitmap);
    if (size.cx <= 0 || size.cy <= 0)
        return;
    const int w = size.cx;
    const int h = size.cy;
    const win::UniqueDc source = win::CreateMemoryDc(target);
    const win::UniqueDc work = win::CreateMemoryDc(target);
    const win::UniqueDc mask = win::CreateMemoryDc(target);
    const win::UniqueDc inverse = win::CreateMemoryDc(target);
    const win::UniqueDc back = win::CreateMemoryDc(target);
    if (!source || !work || !mask || !inverse || !back)
        return;
    win::UniqueBitmap work_bitmap(CreateCompatibleBitmap(target, w, h));
    win::UniqueBitmap mask_bitmap(CreateBitmap(w, h, 1, 1, nullptr));
    win::UniqueBitmap inverse_bitmap(CreateBitmap(w, h, 1, 1, nullptr));
    win::UniqueBitmap back_bitmap(CreateCompatibleBitmap(target, w, h));
    if (!work_bitmap || !mask_bitmap || !inverse_bitmap || !back_bitmap)
        return;
    const win::UniqueSelection s1 = win::SelectInto(source.get(), bitmap);
    const win::UniqueSelection s2 = win::SelectInto(work.get(), work_bitmap.get());
    const win::UniqueSelection s3 = win::SelectInto(mask.get(), mask_bitmap.get());
    const win::UniqueSelection s4 = win::SelectInto(inverse.get(), inverse_bitmap.get());
    const win::UniqueSelection s5 = win::SelectInto(back.get(), back_bitmap.get());
    const int mapping = GetMapMode(target);
    SetMapMode(source.get(), mapping);

    BitBlt(work.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);
    // Copying colour to monochrome makes pixels of the background colour
    // white, every other one black.
    const COLORREF key = GetPixel(source.get(), 0, 0);
    const COLORREF previous_background = SetBkColor(work.get(), key);
    BitBlt(mask.get(), 0, 0, w, h, work.get(), 0, 0, SRCCOPY);
    SetBkColor(work.get(), previous_background);
    BitBlt(inverse.get(), 0, 0, w, h, mask.get(), 0, 0, NOTSRCCOPY);

    // Monochrome to colour maps black to the text colour and white to the
    // background colour: make those black and white.
    for (HDC dc : {back.get(), work.get()}) {
        SetBkColor(dc, RGB(255, 255, 255));
        SetTextColor(dc, RGB(0, 0, 0));
    }
    BitBlt(back.get(), 0, 0, w, h, target, x, y, SRCCOPY);
    BitBlt(back.get(), 0, 0, w, h, mask.get(), 0, 0, SRCAND);     // keep background under the key
    BitBlt(work.get(), 0, 0, w, h, inverse.get(), 0, 0, SRCAND);  // keep the picture elsewhere
    BitBlt(back.get(), 0, 0, w, h, work.get(), 0, 0, SRCPAINT);
    BitBlt(target, x, y, w, h, back.get(), 0, 0, SRCCOPY);
}

}  // namespace olvex::dlgframe

using namespace olvex::dlgframe;

extern "C" {

HBITMAP __cdecl FrameworkLoadTgaFile(const WCHAR* fileName, BYTE premultiply) {
    if (fileName == nullptr)
        return nullptr;
    std::wstring path = State().data_folder + L"/" + fileName;
    if (!FitsBuffer(path.size(), static_cast<long long>(kTgaPathChars)))
        return nullptr;
    const olvex::win::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                    nullptr));
    if (!file)
        return nullptr;
    std::uint8_t raw[kTgaHeaderSize]{};
    DWORD got = 0;
    if (!ReadFile(file.get(), raw, sizeof(raw), &got, nullptr) || got != sizeof(raw))
        return nullptr;
    const auto header = ParseTgaHeader(raw);
    if (!header)
        return nullptr;
    const auto layout = TgaImageLayout(*header);
    if (!layout)
        return nullptr;
    // The identification field is skipped, never read into the pixels.
    LARGE_INTEGER offset{};
    offset.QuadPart = static_cast<LONGLONG>(layout->pixel_offset);
    if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN))
        return nullptr;
    std::span<std::uint8_t> pixels;
    HBITMAP section = CreateImageSection(*layout, pixels);
    if (section == nullptr)
        return nullptr;
    ReadUpTo(file.get(), pixels);
    if (premultiply)
        PremultiplyPixels(pixels);
    return section;
}

HBITMAP __cdecl FrameworkLoadTgaResource(UINT imageId, UINT_PTR, BYTE premultiply) {
    const HMODULE module = State().resource;
    if (module == nullptr)
        return nullptr;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(imageId & 0xFFFF), kTgaResourceType);
    if (found == nullptr)
        return nullptr;
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0)
        return nullptr;
    const std::span<const std::uint8_t> image(static_cast<const std::uint8_t*>(data), size);
    const auto header = ParseTgaHeader(image);
    if (!header)
        return nullptr;
    const auto layout = TgaImageLayout(*header);
    if (!layout)
        return nullptr;
    std::span<std::uint8_t> pixels;
    HBITMAP section = CreateImageSection(*layout, pixels);
    if (section == nullptr)
        return nullptr;
    CopyTgaPixels(image, *layout, pixels);
    // Unblended drawing copies the pixels as they are, so they are only
    // premultiplied for AlphaBlend.
    if (premultiply && State().alpha_blend != nullptr)
        PremultiplyPixels(pixels);
    return section;
}

}  // extern "C"
