// Facts of the suite editions' packaging that setup and its test stand-ins
// must agree on, written down once: the companion libraries that only the
// suite editions of the firewall and the anti-spam product install (their
// absence marks a stand-alone or earlier installation), and the seven
// questions the firewall installer asks while it installs (the dialog
// watcher presses Yes on a "#32770" window with one of these titles).
//
// The resource scripts include this file too: the macros are plain
// narrow string literals for them; C++ code uses the constants below.
#pragma once

// Companion libraries of the suite editions.
#define OLVEX_FIREWALL_COMPANION_LIBRARY "tsxjsuite.dll"
#define OLVEX_ANTISPAM_COMPANION_LIBRARY "zxjsuite.dll"

// The firewall installer's questions: string ids and their English titles,
// in the order of the ids.
#define OLVEX_FIREWALL_QUESTION_1_ID 24009
#define OLVEX_FIREWALL_QUESTION_1_TITLE "Tessaly Firewall Setup - License Agreement"
#define OLVEX_FIREWALL_QUESTION_2_ID 24010
#define OLVEX_FIREWALL_QUESTION_2_TITLE "Tessaly Firewall Setup - Destination Folder"
#define OLVEX_FIREWALL_QUESTION_3_ID 24011
#define OLVEX_FIREWALL_QUESTION_3_TITLE "Tessaly Firewall Setup - Previous Settings"
#define OLVEX_FIREWALL_QUESTION_4_ID 24012
#define OLVEX_FIREWALL_QUESTION_4_TITLE "Tessaly Firewall Setup - Network Driver"
#define OLVEX_FIREWALL_QUESTION_5_ID 24013
#define OLVEX_FIREWALL_QUESTION_5_TITLE "Tessaly Firewall Setup - Program Access"
#define OLVEX_FIREWALL_QUESTION_6_ID 24014
#define OLVEX_FIREWALL_QUESTION_6_TITLE "Tessaly Firewall Setup - Start Menu Folder"
#define OLVEX_FIREWALL_QUESTION_7_ID 24015
#define OLVEX_FIREWALL_QUESTION_7_TITLE "Tessaly Firewall Setup - Restart Required"

#ifndef RC_INVOKED

namespace olvex::setup {

inline constexpr char16_t kFirewallCompanionLibrary[] = u"" OLVEX_FIREWALL_COMPANION_LIBRARY;
inline constexpr char16_t kAntiSpamCompanionLibrary[] = u"" OLVEX_ANTISPAM_COMPANION_LIBRARY;

struct FirewallQuestion {
    unsigned id;
    const char16_t* title;
};

inline constexpr FirewallQuestion kFirewallQuestions[7] = {
    {OLVEX_FIREWALL_QUESTION_1_ID, u"" OLVEX_FIREWALL_QUESTION_1_TITLE},
    {OLVEX_FIREWALL_QUESTION_2_ID, u"" OLVEX_FIREWALL_QUESTION_2_TITLE},
    {OLVEX_FIREWALL_QUESTION_3_ID, u"" OLVEX_FIREWALL_QUESTION_3_TITLE},
    {OLVEX_FIREWALL_QUESTION_4_ID, u"" OLVEX_FIREWALL_QUESTION_4_TITLE},
    {OLVEX_FIREWALL_QUESTION_5_ID, u"" OLVEX_FIREWALL_QUESTION_5_TITLE},
    {OLVEX_FIREWALL_QUESTION_6_ID, u"" OLVEX_FIREWALL_QUESTION_6_TITLE},
    {OLVEX_FIREWALL_QUESTION_7_ID, u"" OLVEX_FIREWALL_QUESTION_7_TITLE},
};

}  // namespace olvex::setup

#endif
