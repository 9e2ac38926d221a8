// Resource IDs of LorvantaSurvey.exe, shared by the resource script and the
// code. The menu's command numbers are the behaviour's SurveyCommand values;
// the resource script cannot read a C++ enum, so they are written here once
// more and the window's code checks them against the enum at compile time.
#pragma once

#define IDI_SURVEY 101
#define IDR_SURVEY_MENU 102
#define IDR_SURVEY_KEYS 103

#define IDM_SURVEY_START 100
#define IDM_SURVEY_STOP 101
#define IDM_SURVEY_SAVE_PICTURE 102
#define IDM_SURVEY_SAVE_CSV 103
#define IDM_SURVEY_SAVE_JSON 104
#define IDM_SURVEY_QUIT 105
#define IDM_SURVEY_HUGE_PAGES 106
#define IDM_SURVEY_LATENCY 107

// The menu bar's third menu, Settings, whose first three items (the threads,
// the instruction sets and the largest size) are built at run time from the
// behaviour's choice tables.
#define SURVEY_SETTINGS_MENU_POSITION 2
