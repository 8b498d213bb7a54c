// Ids of the test resource DLLs and of frametest.exe's own resources.
#pragma once

// Strings that show which module of the chain answered.
#define IDS_TEST_CHAIN_A 30001  // caller, brand, product and resource DLLs
#define IDS_TEST_CHAIN_B 30002  // product and resource DLLs
#define IDS_TEST_CHAIN_C 30003  // resource DLL only
#define IDS_TEST_PLACE 30006    // which copy of a DLL was loaded
#define IDS_TEST_FORMAT 30010   // a pattern with inserts
#define IDS_TEST_PAGE1 31001
#define IDS_TEST_PAGE2 31002
#define IDS_TEST_PAGE3 31003

// TGA images of the test resource DLLs.
#define IDT_BOTTOM_UP 300
#define IDT_TOP_DOWN 301
#define IDT_DEPTH24 302
#define IDT_COLOUR_MAPPED 303
#define IDT_RUN_LENGTH 304
#define IDT_LONG_ID 305
#define IDT_TRUNCATED 306
#define IDT_ZERO_WIDTH 307
#define IDT_HUGE 308
#define IDT_ALPHA_BLOCK 309
#define IDT_EMPTY 310

#define IDM_TEST_MENU 700

// A bitmap whose corner is magenta (the colour key) round a black square.
#define IDB_TEST_KEYED 320

// Tab pages and the bottom dialog (test resource DLLs).
#define IDD_TEST_PAGE_SMALL 600
#define IDD_TEST_PAGE_WIDE 601
#define IDD_TEST_PAGE_TALL 602
#define IDD_TEST_BOTTOM 610
#define IDC_TEST_PAGE_TEXT 620
#define IDC_TEST_BOTTOM_CLOSE 110

// frametest.exe's own dialogs.
#define IDD_TEST_SEVEN 500
#define IDD_TEST_POSITION 501
#define IDC_GROUP 510
#define IDC_RADIO1 511
#define IDC_PLAIN_STATIC 512
#define IDC_RADIO2 513
#define IDC_RADIO3 514
#define IDC_CHECK 515
#define IDC_SPLIT_LABEL 516
#define IDC_GRADIENT_LABEL 517
#define IDC_ALPHA_IMAGE 518
#define IDC_KEYED_IMAGE 519
#define IDC_LINK 520
#define IDC_FLAT_BUTTON 521
#define IDC_IMAGE_BUTTON 522
#define IDC_PUSH_BUTTON 523
#define IDC_OPEN_GROUP 524
#define IDC_SHORT_LINK 525
#define IDC_POSITIONED 530
#define IDC_COMBO 531
