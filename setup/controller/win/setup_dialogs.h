// Setup's own dialogs, drawn by the dialog framework from the suite's
// resource DLL: the agreement page, the destination folder, the product
// selection, the competing product question and the notices of missing
// system components. Each returns 0 or the result code its refusal gives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace olvex::setup {

class DestinationChoice;

inline constexpr UINT kAgreementTemplate = 228;
inline constexpr UINT kDestinationTemplate = 230;
inline constexpr UINT kWinsockTemplate = 283;
inline constexpr UINT kComponentTemplate = 284;
inline constexpr UINT kSelectionTemplate = 350;
inline constexpr UINT kCompetitorTemplate = 351;

inline constexpr int kAgreementText = 1036;
inline constexpr int kAgreementHeading = 1288;
inline constexpr int kAgreementAccept = 1451;
inline constexpr int kDestinationEdit = 1292;
inline constexpr int kDestinationNote = 1293;
inline constexpr int kDestinationBrowse = 1030;
inline constexpr int kNoticeText = 1087;
inline constexpr int kNoticeLink = 1446;
inline constexpr int kCompetitorName = 1455;

// 0, or 9018 when the agreement was not accepted; skipped (0) below
// display level 2.
uint32_t ShowAgreement(HWND parent);
// The destination dialog over the choice; its result (above 0: a folder
// was accepted).
INT_PTR ShowDestinationDialog(HWND parent, DestinationChoice& choice);
// 0, or 9017 when cancelled; skipped (0) below display level 2.
uint32_t ShowProductSelection(HWND parent);
// 0 when the user agrees to remove the competitor, else 9021.
uint32_t AskRemoveCompetingProduct(HWND parent, std::u16string_view competitor,
                                   std::u16string_view product);
// The rich edit library's file version against major.minor: 0, or 9006
// with "RICHED20.DLL" in `missing` when it is older or unreadable.
uint32_t CheckRichEditVersion(uint32_t major, uint32_t minor, std::u16string& missing);
// Whether Winsock offers major.minor: 0, or 9014 with "WS2_32.DLL" in
// `missing` (only a refusal of that version, or a missing library, fails).
uint32_t CheckWinsockVersion(uint32_t major, uint32_t minor, std::u16string& missing);
void ShowComponentDownload(HWND parent);
void ShowWinsockDownload(HWND parent, std::u16string_view product);

}  // namespace olvex::setup
